#!/usr/bin/env bash
# Plants each fault listed in scripts/planted-faults.txt into a copy of the
# sources, one at a time, builds and runs the tests that should catch it, and
# reports whether they did. A fault that no test catches is a gap in the tests.
#
# Each line of the list: file @@ exact text @@ replacement @@ ctest regex @@ what the fault is
# (blank lines and lines starting with # are skipped). A regex written
# "browser:K" runs the panel's browser test instead, its tests matching K
# (pytest's -k). Usage:
#   scripts/plant-faults.sh [PATTERN]   only the faults whose description matches PATTERN
set -euo pipefail
cd "$(dirname "$0")/.."
list=scripts/planted-faults.txt
work=build-plant
pattern=${1:-}
mkdir -p "$work"
rm -rf "$work/src" && mkdir -p "$work/src"
git ls-files -co --exclude-standard -z | xargs -0 cp --parents -p -t "$work/src"
cmake -S "$work/src" -B "$work/build" -DASTREL_WERROR=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
caught=0
missed=0
while read -r line; do
    [ -z "$line" ] || [[ "$line" == \#* ]] && continue
    IFS=$'\t' read -r file from to tests what <<<"${line// @@ /$'\t'}"
    [ -n "$pattern" ] && [[ "$what" != *"$pattern"* ]] && continue
    cp "$work/src/$file" "$work/original"
    if ! FROM="$from" TO="$to" python3 -c '
import os, sys
path = sys.argv[1]
text = open(path).read()
if text.count(os.environ["FROM"]) != 1:
    sys.exit(1)
open(path, "w").write(text.replace(os.environ["FROM"], os.environ["TO"]))
' "$work/src/$file"; then
        echo "NOT PLANTED  $what (the text is not in $file exactly once)"
        missed=$((missed + 1))
        continue
    fi
    if ! cmake --build "$work/build" -j "$(nproc)" >"$work/build.log" 2>&1; then
        echo "NOT BUILT    $what (see $work/build.log)"
        missed=$((missed + 1))
        cp "$work/original" "$work/src/$file"
        continue
    fi
    if [[ "$tests" == browser:* ]]; then
        # A fault of the panel's page: the browser test, on this build's tool.
        failed=0
        ASTREL_TOOL="$work/build/tools/astrel" ASTREL_SCREENSHOT="$work/screenshot.png" \
            /usr/bin/python3 -m pytest -q -p no:cacheprovider -k "${tests#browser:}" \
            tests/panel/test_panel_browser.py >"$work/test.log" 2>&1 || failed=1
        failing=$(grep -oE '^FAILED [^ ]+' "$work/test.log" | sed 's/.*:://' | head -3 |
            paste -sd, -) || true
    else
        failed=0
        ctest --test-dir "$work/build" -R "$tests" -j "$(nproc)" --timeout 60 --no-tests=error \
            >"$work/test.log" 2>&1 || failed=1
        failing=$(sed -n '/tests FAILED:/,$p' "$work/test.log" | grep -E '^\s+[0-9]+ - ' |
            sed -E 's/^\s*[0-9]+ - //;s/ .*//' | head -3 | paste -sd, -) || true
    fi
    if [ "$failed" -eq 0 ]; then
        echo "MISSED       $what"
        missed=$((missed + 1))
    elif [ -z "$failing" ]; then  # no test matched, or the runner itself failed
        echo "NOT RUN      $what (no test failed; see $work/test.log)"
        missed=$((missed + 1))
    else
        echo "caught       $what  [$failing]"
        caught=$((caught + 1))
    fi
    cp "$work/original" "$work/src/$file"
done <"$list"
cmake --build "$work/build" -j "$(nproc)" >/dev/null 2>&1 || true
echo "$caught caught, $missed missed"
[ "$missed" -eq 0 ]

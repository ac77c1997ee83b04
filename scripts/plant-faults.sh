#!/usr/bin/env bash
# Plants each fault listed in scripts/planted-faults.txt into a copy of the
# sources, one at a time, runs the tests that should catch it, and reports
# whether they did. A fault that no test catches is a gap in the tests.
#
# Each line of the list: file @@ exact text @@ replacement @@ tests @@ what the fault is
# (blank lines and lines starting with # are skipped). For a file under
# python/, "tests" are pytest's arguments (a path under tests/python, -k ...):
# the planted package runs from the copy against the plain build in build/
# (scripts/test-python.sh makes its environment). "tests" written "browser:K"
# run the panel's browser test (its tests matching K, pytest's -k) with the
# tool of a build of the copy. For any other file, "tests" is a ctest regex,
# run on a build of the copy. Usage:
#   scripts/plant-faults.sh [PATTERN]   only the faults whose description matches PATTERN
set -euo pipefail
cd "$(dirname "$0")/.."
list=scripts/planted-faults.txt
work=build-plant
pattern=${1:-}
mkdir -p "$work"
rm -rf "$work/src" && mkdir -p "$work/src"
git ls-files -co --exclude-standard -z | xargs -0 cp --parents -p -t "$work/src"
configured=""
caught=0
missed=0

# Each runner runs the tests of one planted fault and writes the names of
# those that failed to $work/failing: status 0 all passed, 1 some failed,
# 2 they could not run.
build_copy() {
    if [ -z "$configured" ]; then
        cmake -S "$work/src" -B "$work/build" -DASTREL_WERROR=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
        configured=yes
    fi
    cmake --build "$work/build" -j "$(nproc)" >"$work/build.log" 2>&1 && return 0
    echo "not built, see $work/build.log" >"$work/failing"
    return 2
}
run_ctest() {  # REGEX
    build_copy || return 2
    if ctest --test-dir "$work/build" -R "$1" -j "$(nproc)" --timeout 60 --no-tests=error \
        >"$work/test.log" 2>&1; then
        return 0
    fi
    { sed -n '/tests FAILED:/,$p' "$work/test.log" | grep -E '^\s+[0-9]+ - ' |
        sed -E 's/^\s*[0-9]+ - //;s/ .*//' | head -3 | paste -sd, -; } >"$work/failing" || true
    return 1
}
run_pytest() {  # PYTEST-ARGUMENTS
    local venv=$PWD/build/python-venv built=$PWD/build
    if [ ! -x "$venv/bin/python" ]; then
        echo "no $venv: run scripts/test-python.sh" >"$work/failing"
        return 2
    fi
    # shellcheck disable=SC2086  # the arguments are pytest's, split as written
    if (cd "$work/src" && PYTHONPATH=$PWD/python ASTREL_LIBRARY=$built/libastrel.so.1 \
        ASTREL_TOOL=$built/tools/astrel timeout 900 "$venv/bin/python" -m pytest -q \
        -p no:cacheprovider $1) >"$work/test.log" 2>&1; then
        return 0
    fi
    { grep -E '^(FAILED|ERROR) ' "$work/test.log" | sed -E 's/^[A-Z]+ [^:]*:://;s/ - .*//;s/\[.*//' |
        awk '!seen[$0]++' | head -3 | paste -sd, -; } >"$work/failing" || true
    return 1
}
run_browser() {  # browser:K
    build_copy || return 2
    if ASTREL_TOOL="$work/build/tools/astrel" ASTREL_SCREENSHOT="$work/screenshot.png" \
        /usr/bin/python3 -m pytest -q -p no:cacheprovider -k "${1#browser:}" \
        tests/panel/test_panel_browser.py >"$work/test.log" 2>&1; then
        return 0
    fi
    { grep -oE '^FAILED [^ ]+' "$work/test.log" | sed 's/.*:://' | head -3 |
        paste -sd, -; } >"$work/failing" || true
    return 1
}

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
    runner=run_ctest
    [[ "$file" == python/* ]] && runner=run_pytest
    [[ "$tests" == browser:* ]] && runner=run_browser
    status=0
    : >"$work/failing"
    $runner "$tests" || status=$?
    failing=$(cat "$work/failing")
    if [ "$status" -eq 0 ]; then
        echo "MISSED       $what"
        missed=$((missed + 1))
    elif [ "$status" -eq 2 ] || [ -z "$failing" ]; then  # not built, or nothing ran
        echo "NOT RUN      $what (${failing:-no test failed}; see $work/test.log)"
        missed=$((missed + 1))
    else
        echo "caught       $what  [$failing]"
        caught=$((caught + 1))
    fi
    cp "$work/original" "$work/src/$file"
done <"$list"
[ -n "$configured" ] && { cmake --build "$work/build" -j "$(nproc)" >/dev/null 2>&1 || true; }
echo "$caught caught, $missed missed"
[ "$missed" -eq 0 ]

#!/usr/bin/env bash
# Counts the project's code lines (tracked C, C++ and Python files; blank lines
# and lines holding only a comment or a preprocessor directive left out) and
# reports test lines (tests/, test/ and the fuzzers in fuzz/) against the
# other code lines. The bench (bench/) is a measuring program users run and CI
# runs once per build; it asserts nothing, so it counts with the other code.
# Its lines are shown on their own, with the share it would make as a test.
set -euo pipefail
cd "$(dirname "$0")/.."
count() {
    git ls-files -- "$@" | grep -E '\.(c|cc|cpp|cxx|h|hpp|py)$' | xargs -r cat |
        grep -cvE '^\s*(//.*|#.*)?$' || true
}
tests=$(count tests test fuzz)
bench=$(count bench)
all=$(count .)
other=$((all - tests))
echo "test lines:  $tests"
echo "other lines: $other (the bench's $bench among them)"
share() { awk -v t="$1" -v o="$2" 'BEGIN { printf "%.1f%%", 100 * t / o }'; }
echo "tests are $(share "$tests" "$other") of the other code (a third: at most $((other / 3)) lines)"
echo "(counting the bench as tests: $(share $((tests + bench)) $((other - bench))))"

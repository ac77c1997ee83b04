#!/usr/bin/env bash
# Counts the project's code lines (tracked C, C++ and Python files; blank lines
# and lines holding only a comment or a preprocessor directive left out) and
# reports test lines (tests/, test/, the fuzzers in fuzz/ and the bench in
# bench/) against the other code lines. The bench's lines are also shown on
# their own, with the share the tests make when it counts as code instead.
set -euo pipefail
cd "$(dirname "$0")/.."
count() {
    git ls-files -- "$@" | grep -E '\.(c|cc|cpp|cxx|h|hpp|py)$' | xargs -r cat |
        grep -cvE '^\s*(//.*|#.*)?$' || true
}
tests=$(count tests test fuzz bench)
bench=$(count bench)
all=$(count .)
other=$((all - tests))
echo "test lines:  $tests"
echo "other lines: $other"
share() { awk -v t="$1" -v o="$2" 'BEGIN { printf "%.1f%%", 100 * t / o }'; }
echo "tests are $(share "$tests" "$other") of the other code (a third: at most $((other / 3)) lines)"
echo "(the bench's $bench lines among the tests; counted as code instead: $(share $((tests - bench)) $((other + bench))))"

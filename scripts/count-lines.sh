#!/usr/bin/env bash
# Counts the project's code lines (tracked C, C++ and Python files; blank lines
# and lines holding only a comment or a preprocessor directive left out) and
# reports test lines against the other code lines.
set -euo pipefail
cd "$(dirname "$0")/.."
count() {
    git ls-files -- "$@" | grep -E '\.(c|cc|cpp|cxx|h|hpp|py)$' | xargs -r cat |
        grep -cvE '^\s*(//.*|#.*)?$' || true
}
tests=$(count tests test fuzz bench)
all=$(count .)
other=$((all - tests))
echo "test lines:  $tests"
echo "other lines: $other"
[ "$other" -gt 0 ] && echo "tests are $((100 * tests / other))% of the other code"

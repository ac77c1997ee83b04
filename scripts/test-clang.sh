#!/usr/bin/env bash
# Builds the library, the tool and the tests with clang (Debian's), warnings
# as errors, and runs the tests: a second compiler finds what the first lets by.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh clang
jobs=$(nproc)
CC=clang CXX=clang++ cmake -S . -B build-clang -DASTREL_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-clang -j "$jobs"
ctest --test-dir build-clang --output-on-failure -j "$jobs"

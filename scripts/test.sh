#!/usr/bin/env bash
# Builds the library and runs every test three times: a plain build (and, on
# it, the Python package's tests and the panel's browser test), one with
# AddressSanitizer and UndefinedBehaviorSanitizer, and one with
# ThreadSanitizer (where the threads tests count most); a sanitizer's report
# fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs=$(nproc)

cmake -S . -B build -DASTREL_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"
# The Python package over the plain build (not the sanitized ones: a
# sanitized library loads into python only with its runtime preloaded).
scripts/test-python.sh
# astrel panel in headless Chromium, on the plain build only.
scripts/test-panel.sh

cmake -S . -B build-asan -DASTREL_WERROR=ON -DCMAKE_BUILD_TYPE=Debug -DASTREL_SANITIZE=ON >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=abort_on_error=1:detect_leaks=1:strict_string_checks=1 \
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure -j "$jobs"

cmake -S . -B build-tsan -DASTREL_WERROR=ON -DCMAKE_BUILD_TYPE=Debug -DASTREL_SANITIZE_THREADS=ON >/dev/null
cmake --build build-tsan -j "$jobs"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    ctest --test-dir build-tsan --output-on-failure -j "$jobs"

#!/usr/bin/env bash
# Measures the processor time of one ReceiveStageData that waits 2 s for a
# reply that never comes (a pseudo-terminal whose other end stays silent):
# builds (Release) and runs the end-to-end test that measures it.
# Usage: scripts/measure-wait-cpu.sh [build-dir]   (default: build-release)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
dir=${1:-build-release}
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$dir" -j "$(nproc)" --target astrel_e2e_tests
"$dir"/tests/astrel_e2e_tests --gtest_filter=SerialPty.WaitingCostsLittleProcessorTime |
    grep -E 'ReceiveStageData waiting|PASSED|FAILED'

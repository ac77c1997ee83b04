#!/usr/bin/env bash
# Measures the processor time of a 2 s reply wait that ends by time-out:
# builds the library and the measurement (Release) and runs it.
# Usage: scripts/measure-wait-cpu.sh [build-dir]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
dir=${1:-build}
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$dir" -j "$(nproc)" --target receive_wait_cpu
"$dir"/bench/receive_wait_cpu

#!/usr/bin/env bash
# Builds the bench (Release, in build-release/) and runs it twice: with the
# host and the peer on one processor (taskset), where an exchange costs what
# both ends do and no cross-processor wake-up hides the library's own cost,
# and spread over every processor, as a host usually runs. Each run prints
# the latency table (library against the bare termios loop, per maker and
# for raw replies of 1 and 30 bytes), the processor share of a 2 s wait and
# the memory of one open handle. docs/PERFORMANCE.md keeps a result.
# Usage: scripts/bench.sh [ROUNDS [EXCHANGES-PER-RUN [ROW]]]   (default 30 100)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build-release -DASTREL_WERROR=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-release -j "$(nproc)" --target astrel_bench
echo "## one processor (taskset -c 0)"
taskset -c 0 build-release/bench/astrel_bench "$@"
echo
echo "## every processor"
build-release/bench/astrel_bench "$@"

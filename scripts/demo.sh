#!/usr/bin/env bash
# Builds the library and runs the example host program: it opens a stage
# handle on a pseudo-terminal and exchanges a raw command with a scripted peer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target raw_exchange
build/examples/raw_exchange

#!/usr/bin/env bash
# Builds the library and the astrel tool and runs the demo: a short session on
# a simulated controller of every maker, through the library's C interface,
# ending in a summary table. Exits non-zero when a session went wrong.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target astrel_tool
build/tools/astrel demo

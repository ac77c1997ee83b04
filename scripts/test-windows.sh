#!/usr/bin/env bash
# Cross-builds the library, its tests and examples for 64-bit Windows into
# build-windows/ and runs the tests under Wine. The end-to-end tests drive
# simulated controllers served on the Linux side, through COM ports of the
# Wine prefix linked to the controllers' pseudo-terminals.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/deps.sh g++-mingw-w64-x86-64 wine wine64 googletest
jobs=$(nproc)

# The simulated controllers run on the Linux side.
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs" --target astrel_sim_server

cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-windows -j "$jobs"

export WINEPREFIX="$PWD/build-windows/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
servers=()
stop() {
    for pid in "${servers[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait "${servers[@]}" 2>/dev/null || true
    wineserver -k 2>/dev/null || true
}
trap stop EXIT
if [ ! -d "$WINEPREFIX" ]; then
    echo "preparing the Wine prefix"
    timeout 300 wineboot --init >/dev/null 2>&1
fi
# One Wine server for every test program, stopped at the end (after the one
# that prepared the prefix, if any, has gone).
wineserver -k 2>/dev/null || true
wineserver -p
# Start Wine's own background programs now: they would otherwise hold the
# output of the first test program open, and at their start they map COM
# ports to serial devices of their own finding.
wine cmd /c exit </dev/null >/dev/null 2>&1

# What the Windows tests find on each COM port (see tests/e2e/ComPortWin32Test.cpp
# and the ordinal host in tests/CMakeLists.txt); nothing is on COM8.
dosdevices="$WINEPREFIX/dosdevices"
serve() {
    local port=$1
    shift
    rm -f "$dosdevices/$port"
    build/tests/astrel_sim_server --link "$dosdevices/$port" "$@" >/dev/null &
    servers+=($!)
}
rm -f "$dosdevices/com8"
serve com1 --maker qt --model QT3
serve com2 --maker qt --model QT3 --silent
serve com3 --maker qt --model QT2
serve com10 --maker qt --model QT3
for port in com1 com2 com3 com10; do
    for _ in $(seq 100); do
        [ -L "$dosdevices/$port" ] && break
        sleep 0.05
    done
    [ -L "$dosdevices/$port" ] || { echo "no simulated controller on $port" >&2; exit 1; }
done

ctest --test-dir build-windows --output-on-failure --timeout 300 -j "$jobs"

#!/usr/bin/env bash
# Cross-builds the library, its tests and examples for 64-bit Windows into
# build-windows/ and runs the tests under Wine. The end-to-end tests drive
# simulated controllers served on the Linux side, through COM ports of the
# Wine prefix linked to the controllers' pseudo-terminals.
# Then installs the build into a scratch prefix and checks what a Windows
# host gets. Arguments go to ctest (for example -V to see every test).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/deps.sh g++-mingw-w64-x86-64 wine wine64 googletest llvm clang lld
jobs=$(nproc)

# The simulated controllers run on the Linux side, served by the astrel tool.
cmake -S . -B build -DASTREL_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs" --target astrel_tool

cmake -S . -B build-windows -DASTREL_WERROR=ON -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
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
wineserver -p >/dev/null 2>&1
# Start Wine's own background programs now: they would otherwise hold the
# output of the first test program open, and at their start they map COM
# ports to serial devices of their own finding.
wine cmd /c exit </dev/null >/dev/null 2>&1

# What the Windows tests find on each COM port: a QT3 controller on COM10,
# past the names COM1 to COM9 (tests/e2e/ComPortWin32Test.cpp), a silent
# controller on COM2 (also the exit host's), one that answers late on COM1,
# the ordinal host's on COM3 (tests/CMakeLists.txt); nothing on COM8.
dosdevices="$WINEPREFIX/dosdevices"
ports=()
serve() {
    local port=$1
    shift
    rm -f "$dosdevices/$port"
    build/tools/astrel sim --link "$dosdevices/$port" "$@" >/dev/null 2>&1 &
    servers+=($!)
    ports+=("$port")
}
rm -f "$dosdevices/com8"
serve com10 --maker 0 --model QT3
serve com2 --maker 0 --model QT3 --fault silent
serve com1 --maker 0 --model QT3 --fault delayed
serve com3 --maker 0 --model QT2
# A QT3 controller that answers late, behind a simulated network serial
# server on a free port of the loopback address, for tests/e2e/ComPortWin32Test.cpp.
tcp_stage="build-windows/tcp-stage.txt"
rm -f "$tcp_stage"
build/tools/astrel sim --maker 0 --model QT3 --tcp 127.0.0.1:0 --fault delayed >"$tcp_stage" 2>/dev/null &
servers+=($!)
for port in "${ports[@]}"; do
    for _ in $(seq 100); do
        [ -L "$dosdevices/$port" ] && break
        sleep 0.05
    done
    [ -L "$dosdevices/$port" ] || { echo "no simulated controller on $port" >&2; exit 1; }
done

for _ in $(seq 100); do
    grep -q '^socket://' "$tcp_stage" && break
    sleep 0.05
done
export ASTREL_TCP_STAGE=$(head -n 1 "$tcp_stage")
[ -n "$ASTREL_TCP_STAGE" ] || { echo "no simulated network serial server" >&2; exit 1; }

ctest --test-dir build-windows --output-on-failure --timeout 300 -j "$jobs" "$@"

# What a Windows host gets from the install: astrel.dll without its debug
# information, the header, the MinGW import library, and astrel.lib with one
# short import member per export of astrel.def, which a host compiled for the
# MSVC ABI links with an MSVC-compatible linker (lld-link) and runs.
prefix=build-windows/install-check
rm -rf "$prefix"
cmake --install build-windows --prefix "$prefix" >/dev/null
for f in bin/astrel.dll include/Astrel.h lib/libastrel.dll.a lib/astrel.lib \
    lib/cmake/astrel/astrelConfig.cmake; do
    [ -f "$prefix/$f" ] || { echo "the install lacks $f" >&2; exit 1; }
done
if x86_64-w64-mingw32-objdump -h "$prefix/bin/astrel.dll" | grep -q '\.debug_'; then
    echo "the installed astrel.dll carries debug information" >&2
    exit 1
fi
sed -n 's/^ *\([A-Za-z0-9_]*\) *@[0-9]*$/\1/p' AstrelDLL/astrel.def | sort >"$prefix/exports"
llvm-nm --just-symbol-name "$prefix/lib/astrel.lib" | sed -n 's/^__imp_//p' | sort |
    diff - "$prefix/exports" || { echo "astrel.lib does not import astrel.def's functions" >&2; exit 1; }
members=$(llvm-objdump -a "$prefix/lib/astrel.lib" | grep -c 'file format COFF-import-file')
[ "$members" -eq "$(wc -l <"$prefix/exports")" ] ||
    { echo "astrel.lib has $members short import members" >&2; exit 1; }
clang --target=x86_64-pc-windows-msvc -ffreestanding -Wall -Werror -I"$prefix/include" \
    -c tests/install/msvc_host.c -o "$prefix/msvc_host.obj"
lld-link /nologo /entry:mainCRTStartup /subsystem:console /nodefaultlib \
    /out:"$prefix/bin/msvc_host.exe" "$prefix/msvc_host.obj" "$prefix/lib/astrel.lib"
wine "$prefix/bin/msvc_host.exe" </dev/null ||
    { echo "the host linked against astrel.lib failed" >&2; exit 1; }
echo "install: astrel.dll $(stat -c %s "$prefix/bin/astrel.dll") bytes (stripped), astrel.lib" \
    "$members imports, a host linked against it by lld-link ran"

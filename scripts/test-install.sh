#!/usr/bin/env bash
# Installs the library into a temporary prefix the way a host's build would
# find it, and checks it as a host does: the installed tree, the examples
# built against it with pkg-config and with find_package and run, the
# installed tool driving a simulated controller, and the Debian packages that
# `cpack -G DEB` makes (their files and dependencies).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/deps.sh pkgconf dpkg-dev binutils
src=$PWD
work=$(mktemp -d)
sim=""
cleanup() {
    [ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "test-install: $*" >&2; exit 1; }

# The prefix /usr at configure time picks the multiarch library directory
# that the packages need; --prefix below installs the same tree elsewhere.
cmake -S . -B build -DASTREL_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build build -j "$(nproc)" --target astrel astrel_tool
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' build/CMakeCache.txt)
prefix=$work/prefix
cmake --install build --prefix "$prefix" >/dev/null

echo "installed tree:"
(cd "$prefix" && find . -type f -o -type l | sort | sed 's/^/  /')
for f in include/Astrel.h bin/astrel "$libdir"/libastrel.so.1 "$libdir"/libastrel.so \
    "$libdir"/pkgconfig/astrel.pc "$libdir"/cmake/astrel/astrelConfig.cmake \
    "$libdir"/cmake/astrel/astrelConfigVersion.cmake; do
    [ -e "$prefix/$f" ] || fail "$f is not installed"
done
objdump -p "$prefix/$libdir/libastrel.so" | grep -q 'SONAME *libastrel\.so\.1$' ||
    fail "libastrel.so has no SONAME libastrel.so.1"

# A host with pkg-config: the example compiled by hand.
export PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig
cc -Wall -Werror -o "$work/raw_exchange_pc" examples/raw_exchange.c \
    $(pkg-config --cflags --libs astrel) -lutil
LD_LIBRARY_PATH=$prefix/$libdir "$work/raw_exchange_pc" >"$work/pc.log" ||
    { cat "$work/pc.log"; fail "the example built with pkg-config failed"; }
echo "pkg-config: raw_exchange built and ran"

# A host with CMake: examples/ on its own, find_package(astrel).
cmake -S examples -B "$work/examples" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/examples" >/dev/null
"$work/examples/raw_exchange" ||
    fail "the example built with find_package failed"
unset PKG_CONFIG_PATH

# The installed tool, finding the installed library on its own, on a simulated stage.
"$prefix/bin/astrel" sim --maker qt --model QT3 --link "$work/stage" >/dev/null 2>&1 &
sim=$!
for _ in $(seq 100); do [ -L "$work/stage" ] && break; sleep 0.05; done
"$prefix/bin/astrel" status --maker qt --model QT3 --device "$work/stage" ||
    fail "the installed tool could not read a simulated stage's status"

# The Debian packages: each holds its own files and depends as Debian's do.
cpack --config build/CPackConfig.cmake -G DEB -B "$work/deb" >/dev/null
check_deb() {  # PACKAGE DEPENDS-PATTERN FILE...
    local package=$1 depends=$2 deb
    shift 2
    deb=$(ls "$work"/deb/"${package}"_*.deb) || fail "no $package package"
    dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./||;s|/$||' >"$work/contents"
    for f in "$@"; do grep -qx "$f" "$work/contents" || fail "$package lacks $f"; done
    dpkg-deb -f "$deb" Depends | grep -qE "$depends" || fail "$package does not depend on $depends"
    echo "$(basename "$deb"): $(dpkg-deb -c "$deb" | grep -vc '^d') files, Depends: $(dpkg-deb -f "$deb" Depends)"
}
lib=usr/$libdir
check_deb libastrel1 'libc6' "$lib/libastrel.so.1" "$lib/libastrel.so.1.1.0"
check_deb libastrel-dev 'libastrel1 \(= ' usr/include/Astrel.h "$lib/libastrel.so" \
    "$lib/pkgconfig/astrel.pc" "$lib/cmake/astrel/astrelConfig.cmake"
check_deb astrel 'libastrel1 \(' usr/bin/astrel
dpkg-deb -c "$work"/deb/libastrel1_*.deb | grep -qE 'usr/include|libastrel\.so$' &&
    fail "libastrel1 holds development files"
dpkg-deb --fsys-tarfile "$work"/deb/libastrel-dev_*.deb | tar -xO "./$lib/pkgconfig/astrel.pc" |
    grep -qx 'prefix=/usr' || fail "the packaged astrel.pc does not name the prefix /usr"
echo "install and packages: all checks passed"

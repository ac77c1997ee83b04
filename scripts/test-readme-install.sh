#!/usr/bin/env bash
# Runs the README's "Installing" commands word for word, as a packager or a
# user would, in a scratch copy of the checkout with a HOME of its own: once
# with g++ and the flags Debian's packaging gives (dpkg-buildflags), once with
# clang. Warnings do not stop those builds, as they must not stop a
# packager's, but they fail this check. Then checks the installed tree: the
# header, the library with its SONAME, and the tool, which lists the makers
# through the installed library.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh clang dpkg-dev
# The first sh block after the "## Installing" heading.
commands=$(awk '/^## Installing/ { on = 1 } on && /^```sh/ { block = 1; next }
                block && /^```/ { exit } block { print }' README.md)
[ -n "$commands" ] || { echo "README.md has no install commands" >&2; exit 1; }
for compilers in gcc:g++ clang:clang++; do
    compiler=${compilers#*:}
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    git ls-files -co --exclude-standard -z | xargs -0 cp --parents -p -t "$work"
    mkdir "$work/home"
    flags=""
    [ "$compiler" = g++ ] && flags=$(dpkg-buildflags --get CXXFLAGS)
    echo "== the README's install commands with $compiler ${flags:+(CXXFLAGS $flags)}"
    (cd "$work" && HOME="$work/home" CC="${compilers%:*}" CXX="$compiler" CXXFLAGS="$flags" \
        bash -euo pipefail -c "$commands") >"$work/log" 2>&1 || { cat "$work/log"; exit 1; }
    # The build goes on past warnings, as a packager's must; this check does not.
    if grep -q "warning:" "$work/log"; then cat "$work/log"; exit 1; fi
    prefix="$work/home/astrel"
    lib=$(dirname "$(find "$prefix" -name 'libastrel.so.1' | head -1)")
    test -f "$prefix/include/Astrel.h"
    objdump -p "$lib/libastrel.so.1" | grep -q "SONAME *libastrel.so.1$"
    LD_LIBRARY_PATH="$lib" "$prefix/bin/astrel" makers | grep -q Prior
    echo "installed: $(cd "$prefix" && find . -type f -o -type l | sort | paste -sd ' ')"
    rm -rf "$work"
    trap - EXIT
done

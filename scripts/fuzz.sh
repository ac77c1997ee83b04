#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ (clang, ASan and UBSan) in build-fuzz/
# and runs each for SECONDS (default 5) on a scratch copy of its corpus, so
# that nothing new lands in fuzz/corpus/. Fails on the first crash; its input
# is left in build-fuzz/ as crash-* (run the target on it to reproduce).
# `scripts/fuzz.sh --seeds` instead rebuilds the drivers' corpus from the
# simulators' replies, keeping the inputs that add coverage.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh clang libclang-rt-14-dev
targets=(Qt Prior Suruga Sigma Hirox Cp310 Transport)
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DASTREL_WERROR=ON -DASTREL_FUZZ=ON -DASTREL_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j2 --target "${targets[@]/#/fuzz_}"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for t in "${targets[@]}"; do
    fuzzer=build-fuzz/fuzz/fuzz_$t
    mkdir -p "$scratch/$t"
    if [ "${1:-}" = --seeds ]; then
        [ "$t" = Transport ] && continue  # its few seeds are written by hand
        ASTREL_FUZZ_SEEDS="$scratch/$t" "$fuzzer"
        rm -rf "fuzz/corpus/$t" && mkdir -p "fuzz/corpus/$t"
        "$fuzzer" -merge=1 "fuzz/corpus/$t" "$scratch/$t" 2>&1 | tail -n 1
        continue
    fi
    cp -r "fuzz/corpus/$t/." "$scratch/$t/"
    echo "fuzzing $t for ${1:-5} s"
    if ! "$fuzzer" -max_total_time="${1:-5}" -artifact_prefix=build-fuzz/ "$scratch/$t" \
        >"$scratch/$t.log" 2>&1; then
        tail -n 40 "$scratch/$t.log"
        echo "fuzz_$t crashed"
        exit 1
    fi
    grep '^Done' "$scratch/$t.log"
done

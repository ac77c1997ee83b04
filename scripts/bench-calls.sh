#!/usr/bin/env bash
# What one exchange of the bench's rows costs the host, in counts that do not
# depend on the machine's load: the system calls made on the library's
# descriptor of the terminal and on the bare loop's (strace), and the
# instructions the library's exported calls execute (callgrind), each per
# exchange. Debian's strace and valgrind are installed when missing.
# Usage: scripts/bench-calls.sh [EXCHANGES]   (default 200; a run of each side)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh strace valgrind
cmake -S . -B build-release -DASTREL_WERROR=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-release -j "$(nproc)" --target astrel_bench >/dev/null
bench=build-release/bench/astrel_bench
n=${1:-200}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "| exchange | library's calls | bare loop's calls | library's instructions |"
echo "|---|---|---|---|"
for row in "QT QT3" "Prior ProScan" "Suruga MSC-10" "Sigma SHOT-202" "Hirox TH3" "CP-310" \
    "raw, 1-byte reply" "raw, 30-byte reply"; do
    strace -f -y -o "$work/trace" -e trace=openat,write,read,poll,ioctl "$bench" 1 "$n" "$row" \
        >/dev/null 2>&1
    valgrind --tool=callgrind --callgrind-out-file="$work/calls" "$bench" 1 "$n" "$row" \
        >/dev/null 2>&1
    callgrind_annotate --inclusive=yes "$work/calls" >"$work/annotated" 2>/dev/null
    N="$n" ROW="$row" python3 - "$work/trace" "$work/annotated" <<'PY'
import collections, os, re, sys
n = int(os.environ["N"])
# The library opens the terminal without blocking reads; the bare loop with them.
library = bare = None
calls = collections.Counter()
for line in open(sys.argv[1]):
    opened = re.search(r'openat\(AT_FDCWD[^,]*, "/dev/pts/\d+", ([A-Z_|]+)\) = (\d+)', line)
    if opened:
        if "O_NONBLOCK" in opened.group(1):
            library = opened.group(2)
        else:
            bare = opened.group(2)
        continue
    call = re.match(r"\d+ +(write|read|poll|ioctl)\((?:\[\{fd=)?(\d+)<", line)
    if call:
        calls[(call.group(2), call.group(1))] += 1
def side(fd):
    # Per exchange; the library's run has one more exchange (the first, before timing).
    kinds = {kind: count for (d, kind), count in calls.items() if d == fd}
    shown = ", ".join(f"{kind} {count // n}" for kind, count in sorted(kinds.items())
                      if count >= n)
    return f"{sum(c // n for c in kinds.values() if c >= n)} ({shown})"
instructions = 0
for line in open(sys.argv[2]):
    match = re.match(r"\s*([\d,]+) .*\?\?\?:(GetStageStatus|SendStageData|ReceiveStageData) \[", line)
    if match:
        instructions += int(match.group(1).replace(",", ""))
print(f"| {os.environ['ROW']} | {side(library)} | {side(bare)} | {instructions // (n + 1)} |")
PY
done

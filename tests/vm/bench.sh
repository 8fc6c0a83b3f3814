#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Speed of corvanectl show against smartctl -x on the emulated drives, in
# one guest: median of N runs each (default 20), and their ratio. Not a
# test: timings under TCG on a shared machine are only comparable side by side.
#   bench.sh [BUILD_DIR] [RUNS]
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
BUILD=$(cd "${1:-build}" && pwd)
RUNS=${2:-20}
CTL=$BUILD/cli/corvanectl
"$CTL" --help 2>&1 | grep -qE '^  show( |$)' || { echo "corvanectl has no 'show' command yet" >&2; exit 77; }
OUT=$BUILD/tests/vm/out/bench
rm -rf "$OUT"
mkdir -p "$OUT"
"$HERE/run-vm.sh" --cache "$BUILD/vm-cache" --share "$BUILD:ro" --share "$HERE:ro" --share "$OUT" \
    --workdir "$OUT" --timeout 600 \
    env CORVANECTL="$CTL" OUT="$OUT" CORVANE_BENCH_RUNS="$RUNS" sh "$HERE/guest.sh" bench
python3 - "$OUT/bench.txt" <<'PY'
import statistics, sys
runs = {}
for line in open(sys.argv[1]):
    prog, dev, ns = line.split()
    runs.setdefault((prog, dev), []).append(int(ns) / 1e6)
med = {k: statistics.median(v) for k, v in runs.items()}
for (prog, dev), m in sorted(med.items()):
    print(f"{prog:11} {dev:13} median {m:8.1f} ms over {len(runs[(prog, dev)])} runs")
for c, s in (("/dev/sda", "/dev/sda"), ("/dev/nvme0n1", "/dev/nvme0")):
    a, b = med.get(("corvanectl", c)), med.get(("smartctl", s))
    if a and b:
        print(f"{c}: corvanectl show / smartctl -x = {a / b:.2f} ({'Corvane faster' if a < b else 'smartctl faster'})")
PY

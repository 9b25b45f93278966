#!/usr/bin/env bash
# The false discovery rate against the plain level, through the library
# (analysis_bench: the analyse() call alone, after loading): wall time (median
# of REPEATS, default 3) and peak RSS of plain (p <= level, the selection in
# the scoring pass), bh (Benjamini-Hochberg), p-order (plain level, pairs in
# p-value order), and once bh-plain (every pair's p-value, sorted: the
# straightforward computation), on the bundled example and on 20,000 x 100
# synthetic data with 50 planted pairs and without any.
#
#   bench/adjusted_bench.sh [BUILD_DIR] [WORK_DIR]
#
# LEVEL and PAIRS (default 0.05 and 1000) are the answers.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$root/build}")
work=${2:-/tmp/tivarne-adjusted}
repeats=${REPEATS:-3}
level=${LEVEL:-0.05}
pairs=${PAIRS:-1000}
mkdir -p "$work"
cmake --build "$build" --target analysis_bench -j2 >/dev/null
[ -s "$work/planted.expr.txt" ] || python3 "$root/bench/make_data.py" 20000 100 "$work/planted" --planted 50 --seed 7
[ -s "$work/noise.expr.txt" ] || python3 "$root/bench/make_data.py" 20000 100 "$work/noise" --planted 0 --seed 8

echo "Machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) cores; load before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "| data | level, pairs | mode | analyse() s, median (range) | peak RSS MiB | selected |"
echo "|---|---|---|---|---|---|"
g=$root/examples/golub
for entry in "golub|$g/expr.txt|$g/labels.txt" "20000 x 100, 50 planted|$work/planted.expr.txt|$work/planted.labels.txt" \
            "20000 x 100, noise|$work/noise.expr.txt|$work/noise.labels.txt"; do
  IFS='|' read -r label expr labels <<< "$entry"
  for mode in plain bh p-order bh-plain; do
    n=$repeats
    [ "$mode" = bh-plain ] && n=1
    : > "$work/runs"
    for _ in $(seq "$n"); do "$build/analysis_bench" "$expr" "$labels" "$level" "$pairs" "$mode" >> "$work/runs"; done
    python3 - "$label" "$mode" "$work/runs" "$level, $pairs" <<'PY'
import sys
rows = [l.split() for l in open(sys.argv[3]) if l.strip()]
times = sorted(float(r[1]) for r in rows)
print("| %s | %s | %s | %.2f (%.2f-%.2f) | %s | %s |" % (sys.argv[1], sys.argv[4], sys.argv[2], times[len(times) // 2],
      times[0], times[-1], max(int(r[3]) for r in rows), rows[0][5]))
PY
  done
done

#!/usr/bin/env bash
# Whole-program benchmark: wall time per phase, peak RSS and bytes per pair of
# the fast build at 2,000, 5,000 and 20,000 genes x 100 samples (50/50, level
# 0.05, 1,000 pairs), and of the straightforward build at 2,000 and 5,000 genes
# in the same run, with the speed ratio and a byte-for-byte check that both
# builds print and write the same. With --genome, also 46,341 genes x 40
# samples (needs about 14 GB and a few minutes).
#
#   bench/run_bench.sh [--genome] [WORK_DIR]
#
# Each case runs REPEATS times (default 3, from the environment) back to back;
# the table shows the run with the median wall time and the range of the wall
# times. On a virtual machine the first touch of fresh memory can cost seconds
# (the host backs the pages only then), which shows up as the spread.
# Prints a Markdown report on standard output. Needs python3 and GNU time.
set -euo pipefail

genome=0
if [ "${1:-}" = "--genome" ]; then genome=1; shift; fi
root=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-/tmp/tivarne-bench}
mkdir -p "$work"

build() {  # build DIR EXTRA_CMAKE_ARGS...
  local dir=$1; shift
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DTIVARNE_BUILD_TESTS=OFF "$@" >/dev/null
  cmake --build "$dir" -j2 --target tivarne >/dev/null
}
build "$work/build-fast"
build "$work/build-plain" -DTIVARNE_STRAIGHTFORWARD=ON

data() {  # data GENES SAMPLES -> prefix
  local prefix="$work/data-$1x$2"
  [ -s "$prefix.expr.txt" ] || python3 "$root/bench/make_data.py" "$1" "$2" "$prefix" --planted 50 --seed 7
  echo "$prefix"
}

repeats=${REPEATS:-3}

# run BUILD GENES SAMPLES -> one table row; leaves console and result in $work/out-*
run() {
  local kind=$1 genes=$2 samples=$3 prefix out r
  prefix=$(data "$genes" "$samples")
  out="$work/out-$kind-$genes"
  mkdir -p "$out"
  for r in $(seq "$repeats"); do
    ( cd "$out" && echo "0.05 1000" | TIVARNE_TIMING=1 /usr/bin/time -f "time %e %M" \
        "$work/build-$kind/tivarne" -e "$prefix.expr.txt" -l "$prefix.labels.txt" -o result.tsv \
        > console.txt 2> "stderr.$r.txt" )
  done
  python3 - "$kind" "$genes" "$samples" "$out" "$repeats" <<'PY'
import sys
kind, genes, samples, out, repeats = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4], int(sys.argv[5])
runs = []
for r in range(1, repeats + 1):
    phases, wall, rss = {}, None, None
    for line in open("%s/stderr.%d.txt" % (out, r)):
        w = line.split()
        if w and w[0] == "timing:":
            phases[w[1]] = float(w[2])
        elif w and w[0] == "time":
            wall, rss = float(w[1]), int(w[2]) * 1024
    runs.append((wall, phases, rss))
runs.sort(key=lambda run: run[0])
wall, phases, rss = runs[len(runs) // 2]
open(out + "/median_wall", "w").write("%f\n" % wall)
pairs = genes * (genes - 1) // 2
cols = [phases.get(p, float("nan")) for p in ("load", "per-gene", "scoring", "ranking", "walk")]
print("| %s | %d x %d | %d | %s | %.2f (%.2f-%.2f) | %.0f | %.1f |" % (
    kind, genes, samples, pairs, " | ".join("%.3f" % c for c in cols), wall, runs[0][0], runs[-1][0],
    rss / 2**20, rss / pairs))
PY
}

echo "Machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) cores, $(free -g | awk '/Mem:/{print $2}') GiB; load before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "Threads: ${OMP_NUM_THREADS:-all cores}"
echo
echo "Runs per case: $repeats (median shown, wall range in brackets)"
echo
echo "| build | genes x samples | pairs | load s | per-gene s | scoring s | ranking s | walk s | wall s | peak RSS MiB | bytes/pair |"
echo "|---|---|---|---|---|---|---|---|---|---|---|"
for g in 2000 5000 20000; do run fast $g 100; done
for g in 2000 5000; do run plain $g 100; done
if [ "$genome" = 1 ]; then run fast 46341 40; fi
echo
for g in 2000 5000; do
  f="$work/out-fast-$g" p="$work/out-plain-$g"
  same=no
  if cmp -s "$f/console.txt" "$p/console.txt" && cmp -s "$f/result.tsv" "$p/result.tsv"; then same=yes; fi
  ratio=$(python3 -c "print('%.0f' % (float(open('$p/median_wall').read()) / float(open('$f/median_wall').read())))")
  echo "- $g genes: straightforward / fast wall time = ${ratio}x; console and result file identical: $same"
done

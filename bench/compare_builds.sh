#!/usr/bin/env bash
# Two commits of tivarne side by side on the same data: builds both (Release)
# in WORK_DIR, then runs each REPEATS times (default 3) alternating A, B, A, B,
# ... on GENES x SAMPLES synthetic data (bench/make_data.py) at the given
# answers, and prints the median and range of the wall times and the peak RSS
# of each, and whether their result files are identical.
#
#   bench/compare_builds.sh REV_A REV_B [GENES SAMPLES LEVEL PAIRS [WORK_DIR]]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
rev_a=$1 rev_b=$2 genes=${3:-20000} samples=${4:-100} level=${5:-0.05} pairs=${6:-1000}
work=${7:-/tmp/tivarne-compare}
repeats=${REPEATS:-3}
mkdir -p "$work"
for rev in "$rev_a" "$rev_b"; do
  dir=$work/src-$rev
  [ -d "$dir" ] || git -C "$root" worktree add -q --detach "$dir" "$rev"
  cmake -S "$dir" -B "$dir/build" -DCMAKE_BUILD_TYPE=Release -DTIVARNE_BUILD_TESTS=OFF >/dev/null
  cmake --build "$dir/build" -j2 --target tivarne >/dev/null
done
prefix=$work/data-${genes}x${samples}
[ -s "$prefix.expr.txt" ] || python3 "$root/bench/make_data.py" "$genes" "$samples" "$prefix" --planted 50 --seed 7
echo "Machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) cores; load before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "Data: $genes x $samples; answers $level $pairs; $repeats runs each, alternating"
for _ in $(seq "$repeats"); do
  for rev in "$rev_a" "$rev_b"; do
    out=$work/out-$rev
    mkdir -p "$out"
    (cd "$out" && echo "$level $pairs" | /usr/bin/time -f "%e %M" -a -o times \
       "$work/src-$rev/build/tivarne" -e "$prefix.expr.txt" -l "$prefix.labels.txt" -o result.tsv \
       >/dev/null 2>/dev/null)
  done
done
for rev in "$rev_a" "$rev_b"; do
  python3 - "$rev" "$work/out-$rev/times" <<'PY'
import sys
rows = [line.split() for line in open(sys.argv[2]) if line.strip()]
walls = sorted(float(w) for w, _ in rows)
rss = max(int(m) for _, m in rows)
print("%s: median %.2f s (%.2f-%.2f), peak RSS %.0f MiB" % (sys.argv[1], walls[len(walls) // 2], walls[0], walls[-1], rss / 1024))
PY
  rm -f "$work/out-$rev/times"
done
if cmp -s "$work/out-$rev_a/result.tsv" "$work/out-$rev_b/result.tsv"; then echo "result files identical"; else echo "result files DIFFER"; fi

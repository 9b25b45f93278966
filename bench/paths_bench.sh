#!/usr/bin/env bash
# The selection in the scoring pass against the ranked table of all pairs
# (TIVARNE_PAIR_TABLE=1), whole runs of the command line: wall time (median of
# REPEATS, default 3, with the range) and peak RSS, at a loose level and at a
# strict one whose walk examines every pair, on synthetic data of 12,625 x 128
# (33/95), 20,000 x 100 (50/50), 46,341 x 40 (20/20) and on the bundled
# example at 0.01 and at its Bonferroni level. Checks that both paths write the
# same result file.
#
#   bench/paths_bench.sh [BUILD_DIR] [WORK_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$root/build}")
work=${2:-/tmp/tivarne-paths}
repeats=${REPEATS:-3}
mkdir -p "$work"

data() {  # data GENES SAMPLES N1 -> prefix
  local prefix="$work/data-$1x$2"
  [ -s "$prefix.expr.txt" ] || python3 "$root/bench/make_data.py" "$1" "$2" "$prefix" --n1 "$3" --planted 50 --seed 7
  echo "$prefix"
}

# run LABEL EXPR LABELS LEVEL PAIRS [PATHS]: one table row per path
run() {
  local label=$1 expr=$2 labels=$3 level=$4 pairs=$5 paths=${6:-pass table} path out table
  for path in $paths; do
    out="$work/out-$path"
    mkdir -p "$out"
    : > "$out/times"
    table=0
    [ "$path" = table ] && table=1
    for _ in $(seq "$repeats"); do
      (cd "$out" && echo "$level $pairs" | env TIVARNE_PAIR_TABLE=$table \
         /usr/bin/time -f "%e %M" -a -o times "$build/tivarne" -e "$expr" -l "$labels" -o result.tsv \
         > /dev/null 2>&1)
    done
    python3 - "$label" "$level $pairs" "$path" "$out/times" <<'PY'
import sys
rows = [l.split() for l in open(sys.argv[4]) if l.strip()]
walls = sorted(float(w) for w, _ in rows)
rss = max(int(m) for _, m in rows)
print("| %s | %s | %s | %.2f (%.2f-%.2f) | %.0f |" % (sys.argv[1], sys.argv[2], sys.argv[3],
      walls[len(walls) // 2], walls[0], walls[-1], rss / 1024))
PY
  done
  if [ "$paths" = "pass table" ]; then
    cmp -s "$work/out-pass/result.tsv" "$work/out-table/result.tsv" || echo "| $label | $level $pairs | RESULT FILES DIFFER | | |"
  fi
}

echo "Machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) cores; load before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "| data | answers | path | wall s, median (range) | peak RSS MiB |"
echo "|---|---|---|---|---|"
g=$root/examples/golub
run "golub 3051 x 38" "$g/expr.txt" "$g/labels.txt" 0.01 20
run "golub 3051 x 38" "$g/expr.txt" "$g/labels.txt" 2.149e-9 1000
for size in "12625 128 33" "20000 100 50" "46341 40 20"; do
  # shellcheck disable=SC2086 # split into genes, samples, seed
  set -- $size
  p=$(data "$1" "$2" "$3")
  run "$1 x $2" "$p.expr.txt" "$p.labels.txt" 0.05 1000
  # The table's walk at a strict level computes every pair's p-value: at the
  # genome's 1.07e9 pairs that takes many minutes, so only the pass runs there.
  run "$1 x $2" "$p.expr.txt" "$p.labels.txt" 1e-12 1000 "$([ "$1" = 46341 ] && echo pass || echo pass table)"
done

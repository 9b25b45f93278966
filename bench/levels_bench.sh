#!/usr/bin/env bash
# Benjamini-Hochberg at any level and p-value order against the plain run,
# through the library (analysis_bench: the analyse() call alone, after
# loading), for two builds side by side: wall and user time and peak RSS of
# each run, with the load average before it. Runs alternate between the
# builds; REPEATS (default 3) runs of each.
#
#   bench/levels_bench.sh BEFORE_BUILD AFTER_BUILD [WORK_DIR] > table.md
#
# CASES (default below): "data-name level pairs mode builds" per line, data
# 20000x100, 46341x40 or 20000x1000 (made by make_data.py, 50 planted pairs,
# seed 7), builds "both" or "after" (the before build's BH needs 12.4 bytes a
# pair and minutes at high levels).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
before=$(realpath "$1")
after=$(realpath "$2")
work=${3:-/tmp/tivarne-levels}
repeats=${REPEATS:-3}
mkdir -p "$work"
cases=${CASES:-"20000x100 0.05 1000 plain both
20000x100 1e-12 1000 plain both
20000x100 0.05 1000 bh both
20000x100 0.5 1000 bh after
20000x100 1 1000 bh after
20000x100 0.05 1000 bh-p-order both
20000x100 1 1000 bh-p-order after
46341x40 0.05 1000 plain after
46341x40 0.05 1000 bh after
46341x40 1 1000 bh after
20000x1000 0.05 1000 plain after
20000x1000 0.05 1000 bh after"}
echo "| data | level, pairs | mode | build | analyse() s | process wall s | user s | peak RSS MiB | selected | load |"
echo "|---|---|---|---|---|---|---|---|---|---|"
while read -r data level pairs mode builds; do
  [ -n "$data" ] || continue
  genes=${data%x*}
  samples=${data#*x}
  [ -s "$work/$data.expr.txt" ] ||
    /usr/bin/python3 "$root/bench/make_data.py" "$genes" "$samples" "$work/$data" --planted 50 --seed 7 >/dev/null
  list="after"
  [ "$builds" = both ] && list="before after"
  for _ in $(seq "$repeats"); do
    for b in $list; do
      dir=$before
      [ "$b" = after ] && dir=$after
      load=$(cut -d' ' -f1 /proc/loadavg)
      out=$( { /usr/bin/time -f "%e %U %M" "$dir/analysis_bench" "$work/$data.expr.txt" "$work/$data.labels.txt" \
               "$level" "$pairs" "$mode"; } 2>&1 )
      read -r _ analyse _ _ _ selected _ <<< "$(echo "$out" | head -1)"
      read -r wall user rss <<< "$(echo "$out" | tail -1)"
      echo "| $data | $level, $pairs | $mode | $b | $analyse | $wall | $user | $((rss / 1024)) | $selected | $load |"
    done
  done
done <<< "$cases"

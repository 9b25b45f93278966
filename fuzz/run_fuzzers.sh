#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, ASan + UBSan) in build-fuzz and runs each for SECONDS
# seconds (default 30) from its seed corpus fuzz/corpus/<name>, new inputs going to a scratch corpus.
# A finding stops the script with a non-zero status and leaves the input as crash-*/timeout-* in
# the scratch directory printed at the start.
# Usage: fuzz/run_fuzzers.sh [SECONDS] [TARGET...]   (targets: label expression run)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
shift || true
targets=("$@")
[ "${#targets[@]}" -gt 0 ] || targets=(label expression run)

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DTIVARNE_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j2 --target "${targets[@]/#/fuzz_}"

root=$(pwd)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/tivarne-fuzz-XXXXXX")
echo "fuzz scratch directory: $scratch"
for t in "${targets[@]}"; do
  mkdir -p "$scratch/$t"
  echo "== fuzz_$t for ${seconds} s"
  dict=$root/fuzz/numbers.dict
  [ "$t" != label ] || dict=$root/fuzz/labels.dict
  (cd "$scratch" && "$root/build-fuzz/fuzz/fuzz_$t" -max_total_time="$seconds" -max_len=4096 \
      -rss_limit_mb=2048 -timeout=20 -print_final_stats=1 -dict="$dict" \
      "$scratch/$t" "$root/fuzz/corpus/$t" 2>&1 | tail -n 25)
done
# Reached only when no target found anything.
rm -rf "$scratch"

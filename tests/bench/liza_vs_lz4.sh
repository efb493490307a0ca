#!/usr/bin/env bash
# Speed of "orl-liza unpack" against Debian's "lz4 -d" on the same 200 MB of mixed binaries (a tar of
# /usr/lib), files in /dev/shm, both timed in the same run, alternating, best of several rounds.
#   tests/bench/liza_vs_lz4.sh [BUILD_DIR]      prints the speed ratio (goal: at least 0.6)
set -euo pipefail
build=${1:-build}
liza="$build/bin/orl-liza"
[ -x "$liza" ] || { echo "no $liza: build first" >&2; exit 1; }
command -v lz4 >/dev/null || { echo "lz4 is missing: run scripts/setup.sh" >&2; exit 1; }

work=$(mktemp -d /dev/shm/orl-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
tar cf - /usr/lib 2>/dev/null | head -c 200000000 > "$work/data.tar" || true
"$liza" pack "$work/data.tar" "$work/data.liza"
lz4 -q -f "$work/data.tar" "$work/data.lz4"

now() { date +%s%N; }
best_liza=0
best_lz4=0
for round in 1 2 3 4 5 6 7; do
  t0=$(now); "$liza" unpack "$work/data.liza" "$work/out.liza"; t1=$(now)
  lz4 -d -q -f "$work/data.lz4" "$work/out.lz4"; t2=$(now)
  liza_ns=$((t1 - t0)); lz4_ns=$((t2 - t1))
  if [ "$best_liza" -eq 0 ] || [ "$liza_ns" -lt "$best_liza" ]; then best_liza=$liza_ns; fi
  if [ "$best_lz4" -eq 0 ] || [ "$lz4_ns" -lt "$best_lz4" ]; then best_lz4=$lz4_ns; fi
  rm -f "$work/out.liza" "$work/out.lz4"
done
"$liza" unpack "$work/data.liza" "$work/out.liza"
cmp -s "$work/out.liza" "$work/data.tar" || { echo "orl-liza unpack gave different bytes" >&2; exit 1; }

awk -v a="$best_liza" -v b="$best_lz4" -v s="$(stat -c %s "$work/data.liza")" -v z="$(stat -c %s "$work/data.lz4")" 'BEGIN {
  printf "200 MB tar of /usr/lib: orl-liza container %d bytes, lz4 %d bytes\n", s, z
  printf "orl-liza unpack %.0f ms, lz4 -d %.0f ms (best of 7)\n", a / 1e6, b / 1e6
  printf "speed ratio orl-liza / lz4: %.2f (goal: at least 0.60)\n", b / a
}'

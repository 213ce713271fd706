#!/usr/bin/env bash
# Times scan_bench against `du -s --apparent-size` on the same folder, in one run, warm cache.
# Each is run three times, alternately; the median of each is compared.
# usage: bench/scan_vs_du.sh FOLDER [BUILD_DIR]
set -euo pipefail
folder=$1
build=${2:-build}
du -s --apparent-size "$folder" >/dev/null          # warm the cache
"$build/bench/scan_bench" "$folder" >/dev/null
du_times=() scan_times=()
for _ in 1 2 3; do
  start=$(date +%s.%N)
  du_out=$(du -s --apparent-size --block-size=1 "$folder")
  end=$(date +%s.%N)
  du_times+=("$(awk -v a="$start" -v b="$end" 'BEGIN{printf "%.3f", b-a}')")
  scan_out=$("$build/bench/scan_bench" "$folder")
  scan_times+=("$(sed -n 's/.* seconds=\([0-9.]*\).*/\1/p' <<<"$scan_out")") # wall time, not cpu_seconds
done
median() { printf '%s\n' "$@" | sort -n | sed -n 2p; }
du_median=$(median "${du_times[@]}")
scan_median=$(median "${scan_times[@]}")
echo "du: ${du_out%%[[:space:]]*} bytes seconds=${du_times[*]} median=$du_median"
echo "scan_bench seconds=${scan_times[*]} median=$scan_median"
echo "$scan_out"
awk -v s="$scan_median" -v d="$du_median" 'BEGIN{printf "ratio scan/du=%.2f\n", s/d}'

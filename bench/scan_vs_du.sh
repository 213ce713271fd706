#!/usr/bin/env bash
# Times scan_bench against `du -s --apparent-size` on the same folder, in one run, warm cache.
# usage: bench/scan_vs_du.sh FOLDER [BUILD_DIR]
set -euo pipefail
folder=$1
build=${2:-build}
du -s --apparent-size "$folder" >/dev/null          # warm the cache
"$build/bench/scan_bench" "$folder" >/dev/null
start=$(date +%s.%N)
du_out=$(du -s --apparent-size --block-size=1 "$folder")
end=$(date +%s.%N)
du_seconds=$(awk -v a="$start" -v b="$end" 'BEGIN{printf "%.3f", b-a}')
scan_out=$("$build/bench/scan_bench" "$folder")
scan_seconds=$(sed -n 's/.*seconds=\([0-9.]*\).*/\1/p' <<<"$scan_out")
echo "du: ${du_out%%[[:space:]]*} bytes seconds=$du_seconds"
echo "$scan_out"
awk -v s="$scan_seconds" -v d="$du_seconds" 'BEGIN{printf "ratio scan/du=%.2f\n", s/d}'

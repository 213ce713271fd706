#!/usr/bin/env bash
# Times scan_bench with each scan choice alone and all together against the plain scan, in one
# run, warm cache: each configuration is run ROUNDS times (default 3), the configurations in
# turn within a round, and the medians are compared. A second binary (a build of another
# commit) may be given to time its plain scan in the same rounds.
# usage: bench/scan_options.sh FOLDER [BUILD_DIR] [OTHER_SCAN_BENCH]
set -euo pipefail
folder=$1
build=${2:-build}
other=${3:-}
rounds=${ROUNDS:-3}
bench="$build/bench/scan_bench"
# Twenty patterns of the usual kinds: build output, caches, editor files, and a few that need
# fnmatch itself or the path below the folder.
patterns=(--exclude '*.o' --exclude '*.pyc' --exclude '*~' --exclude '*.swp' --exclude '.git/'
  --exclude 'node_modules/' --exclude '__pycache__/' --exclude '*.tmp' --exclude 'build/' --exclude 'CMakeFiles/'
  --exclude '.cache/' --exclude '*.bak' --exclude 'core' --exclude 'Thumbs.db' --exclude '.DS_Store'
  --exclude '*.class' --exclude 'target/' --exclude '*.log' --exclude 'file1[0-9]*.iso' --exclude 'dir7*/dir*/*.gz')
names=(plain disk-usage hardlinks-once one-file-system exclude-20 all)
args_plain=()
args_disk_usage=(--disk-usage)
args_hardlinks_once=(--hardlinks-once)
args_one_file_system=(--one-file-system)
args_exclude_20=("${patterns[@]}")
args_all=(--disk-usage --hardlinks-once --one-file-system "${patterns[@]}")
"$bench" "$folder" >/dev/null # warm the cache
declare -A times cpus lines
for _ in $(seq "$rounds"); do
  for name in "${names[@]}"; do
    var="args_${name//-/_}[@]"
    out=$("$bench" "${!var}" "$folder")
    times[$name]+="$(sed -n 's/.* seconds=\([0-9.]*\).*/\1/p' <<<"$out") "
    cpus[$name]+="$(sed -n 's/.*cpu_seconds=\([0-9.]*\).*/\1/p' <<<"$out") "
    lines[$name]=$out
  done
  if [[ -n $other ]]; then
    out=$("$other" "$folder")
    times[other]+="$(sed -n 's/.* seconds=\([0-9.]*\).*/\1/p' <<<"$out") "
    cpus[other]+="$(sed -n 's/.*cpu_seconds=\([0-9.]*\).*/\1/p' <<<"$out") "
    lines[other]=$out
  fi
done
median() { printf '%s\n' $1 | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
# The load of a shared machine drifts between rounds: each configuration is compared with the
# plain scan of its own round, and the median of those ratios is printed beside the medians, for
# wall time and for processor time (which varies much less with what else runs).
ratios() { # times of a configuration, times of the plain scan
  local -a a b
  read -ra a <<<"$1"
  read -ra b <<<"$2"
  for i in "${!a[@]}"; do [[ -n ${b[$i]:-} ]] && awk -v x="${a[$i]}" -v y="${b[$i]}" 'BEGIN{printf "%.3f ", x/y}'; done
}
for name in "${names[@]}" ${other:+other}; do
  wall=$(ratios "${times[$name]}" "${times[plain]}")
  printf '%-16s seconds=%s median=%s min=%s round_ratios=%s median_ratio=%s\n' "$name" "${times[$name]}" \
    "$(median "${times[$name]}")" "$(printf '%s\n' ${times[$name]} | sort -n | head -1)" "$wall" "$(median "$wall")"
  if [[ -n ${cpus[$name]// /} ]]; then
    cpu=$(ratios "${cpus[$name]}" "${cpus[plain]}")
    printf '%-16s cpu_seconds=%s median=%s round_ratios=%s median_ratio=%s\n' "" "${cpus[$name]}" \
      "$(median "${cpus[$name]}")" "$cpu" "$(median "$cpu")"
  fi
  echo "  ${lines[$name]}"
done

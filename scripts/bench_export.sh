#!/usr/bin/env bash
# Times the export of the patches of an imported N x N quad grid (OBJ, through Assimp) beside the
# load of the same grid: `zevrin info` loads it, `zevrin export` loads it and writes it, so the
# export alone is the difference. Each command runs RUNS times; medians, and the highest
# resident memory of each command.
# Usage: bench_export.sh ZEVRIN_BINARY [N] [RUNS] [FORMATS]
#        (defaults: N = 1000, a million faces; 3 runs; "obj")
set -euo pipefail
zevrin=$1
n=${2:-1000}
runs=${3:-3}
formats=${4:-obj}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$(dirname "$0")/quad_grid.py" "$n" "$work"
# measure NAME ARGS...: prints "median_seconds peak_kb" of RUNS runs
measure() {
  local times=() peak=0
  for _ in $(seq "$runs"); do
    /usr/bin/time -f "%e %M" -o "$work/time" "$zevrin" -q "$@" >/dev/null
    read -r t m <"$work/time"
    times+=("$t")
    [ "$m" -gt "$peak" ] && peak=$m
  done
  printf '%s\n' "${times[@]}" | sort -n | awk -v peak="$peak" \
    '{a[NR]=$1} END {m = NR % 2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2; print m, peak}'
}
read -r load load_kb < <(measure info "$work/grid.obj")
printf '%-24s %8.2f s %8d MB\n' "load ($((n * n)) faces)" "$load" $((load_kb / 1024))
for f in $formats; do
  read -r total total_kb < <(measure export "$work/grid.obj" -o "$work/out.$f")
  awk -v f="$f" -v t="$total" -v l="$load" -v kb="$total_kb" 'BEGIN {
    printf "%-24s %8.2f s %8d MB   export alone %.2f s = %.2fx the load\n",
           "load + export ." f, t, kb / 1024, t - l, (t - l) / l }'
done

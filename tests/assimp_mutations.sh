#!/usr/bin/env bash
# Mutated polygon files of every Assimp format the tests have samples of, through `zevrin info`
# as a user runs it: each must open (exit 0) or end in a named error (exit 1, "FILE: message"),
# and within the reader's limit. A crash, a hang or any other exit fails the test.
# Usage: assimp_mutations.sh ZEVRIN MUTATE_POLYGONS DATA_DIR [PER_SEED [SEED [SECONDS]]]
#   PER_SEED mutations of each sample (default 40), drawn from SEED (default 2024); the reader
#   may take SECONDS (default 2) per file, and zevrin itself 20 s more.
set -u
zevrin=$1
mutate=$2
data=$3
per_seed=${4:-40}
seed=${5:-2024}
seconds=${6:-2}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LANG=C
unset LC_ALL LC_MESSAGES

"$mutate" "$work/files" "$per_seed" "$seed" "$data/pentagon.obj" "$data"/assimp/* >/dev/null || exit 1
opened=0
named=0
failures=0
timeouts=0
crashes=0
declare -A by_ext
for f in "$work"/files/*; do
  timeout -s KILL $((seconds + 20)) "$zevrin" -q --reader-timeout "$seconds" info "$f" \
    >/dev/null 2>"$work/err"
  rc=$?
  ext=${f##*.}
  case $rc in
    0) opened=$((opened + 1)) ;;
    1)
      if head -1 "$work/err" | grep -q "^$f: "; then
        named=$((named + 1))
        by_ext[$ext]=$((${by_ext[$ext]:-0} + 1))
        grep -q "did not finish within" "$work/err" && timeouts=$((timeouts + 1))
        grep -q "reader crashed" "$work/err" && crashes=$((crashes + 1))
      else
        failures=$((failures + 1))
        echo "FAIL $(basename "$f"): exit 1 without \"FILE: message\": $(head -c 300 "$work/err")"
      fi
      ;;
    137) failures=$((failures + 1)); echo "FAIL $(basename "$f"): still running after $((seconds + 20)) s" ;;
    *) failures=$((failures + 1)); echo "FAIL $(basename "$f"): exit $rc: $(head -c 300 "$work/err")" ;;
  esac
  # Keep a failing file for a look.
  [ "$rc" -le 1 ] || cp "$f" "$data/../mutation_failure_$(basename "$f").actual" 2>/dev/null
done
total=$((opened + named + failures))
echo "$total mutated files: $opened opened, $named named errors ($timeouts of them the reader's" \
  "time limit, $crashes a crash of the reader), $failures failures"
for ext in "${!by_ext[@]}"; do echo "  named errors, .$ext: ${by_ext[$ext]}"; done | sort
[ "$failures" -eq 0 ] && [ "$total" -gt 0 ]

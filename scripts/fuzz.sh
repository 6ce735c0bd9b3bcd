#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer, UBSan) and runs each for SECONDS
# (default 60), starting from the shipped seeds. A crash leaves its input in
# build/fuzz/findings/TARGET/ and fails the script.
#   scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
bash scripts/setup.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for t in build/fuzz/bin/fuzz_*; do targets+=("$(basename "$t" | sed 's/^fuzz_//')"); done
fi
root=$PWD
status=0
for t in "${targets[@]}"; do
  work=$root/build/fuzz/corpus/$t
  findings=$root/build/fuzz/findings/$t
  log=$root/build/fuzz/$t.log
  mkdir -p "$work" "$findings"
  echo "== fuzz_$t for ${seconds}s"
  # Every path here is absolute, so the targets may run from any folder.
  if ! "$root/build/fuzz/bin/fuzz_$t" "$work" "$root/fuzz/corpus/$t" -max_total_time="$seconds" \
      -timeout=10 -rss_limit_mb=4096 -max_len=65536 -artifact_prefix="$findings/" \
      -print_final_stats=1 2>"$log"; then
    tail -n 60 "$log"
    status=1
  else
    grep -E "stat::number_of_executed_units|Done [0-9]+ runs" "$log" | tail -n 2
  fi
done
exit $status

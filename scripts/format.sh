#!/usr/bin/env bash
# Formats every C++ source of the project, tests included, in the style of .clang-format.
#   scripts/format.sh           rewrite the files that need it
#   scripts/format.sh --check   change nothing; fail naming each file that is not formatted
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files -co --exclude-standard -- '*.cpp' '*.h')
if [ "${1:-}" = "--check" ]; then
  status=0
  for f in "${files[@]}"; do
    if ! clang-format --dry-run -Werror "$f" >/dev/null 2>&1; then
      echo "$f: not formatted (bash scripts/format.sh rewrites it)"
      status=1
    fi
  done
  [ "$status" -eq 0 ] && echo "Format: all ${#files[@]} sources as clang-format writes them."
  exit "$status"
fi
clang-format -i "${files[@]}"

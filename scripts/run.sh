#!/usr/bin/env bash
# Builds Zevrin and runs it on the shipped example: open, count, and save a copy.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default
zevrin=build/default/bin/zevrin
echo "\$ zevrin info examples/half_box.mdl"
"$zevrin" info examples/half_box.mdl
echo "\$ zevrin convert examples/half_box.mdl -o build/half_box_copy.mdl"
"$zevrin" convert examples/half_box.mdl -o build/half_box_copy.mdl

#!/usr/bin/env bash
# The page's speed and memory on a model of 10^6 points against the command line, in one run:
#   bash scripts/bench_web.sh [POINTS] [RUNS]      (defaults 1000000 and 3)
# Builds the release command line and the page first (NATIVE=build/default takes that build's
# command line instead). The machine should be otherwise idle.
set -euo pipefail
cd "$(dirname "$0")/.."
points=${1:-1000000}
runs=${2:-3}
bash scripts/setup.sh
bash scripts/setup_web.sh
bash scripts/build_assimp_wasm.sh  # once; reused while the script is unchanged
native=${NATIVE:-build/release}
if [ "$native" = build/release ]; then
  cmake --preset release >/dev/null && cmake --build --preset release --target zevrin zevrin_web_gen
fi
cmake --preset wasm >/dev/null && cmake --build --preset wasm --target zevrin_page
model=$(mktemp --suffix=.mdl)
trap 'rm -f "$model"' EXIT
"$native/bin/zevrin_web_gen" --model "$points" "$model"
node web/tests/bench_browser.mjs build/wasm/page "$native/bin/zevrin" "$model" "$runs"

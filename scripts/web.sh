#!/usr/bin/env bash
# Builds the web page (the core as WebAssembly, everything in one file) and serves it on
# localhost, printing the address. The file itself, build/wasm/page/index.html, also opens
# straight from the disk.
#   bash scripts/web.sh [PORT]      (default 8056)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup_web.sh
bash scripts/build_assimp_wasm.sh  # once; reused while the script is unchanged
cmake --preset wasm >/dev/null
cmake --build --preset wasm --target zevrin_page
exec node web/serve.mjs build/wasm/page "${1:-8056}"

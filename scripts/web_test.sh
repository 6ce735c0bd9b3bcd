#!/usr/bin/env bash
# The web page: the core's tests built to WebAssembly and run under node, the module's output
# against the native command line's on every test and corpus file and 200 generated files,
# and the page driven in headless Chromium (screenshots in build/screenshots/page_*.png).
#   bash scripts/web_test.sh [NATIVE_BUILD]   (the native build with zevrin; default build/asan)
set -euo pipefail
cd "$(dirname "$0")/.."
native=${1:-build/asan}
bash scripts/setup_web.sh
cmake --preset wasm >/dev/null
cmake --build --preset wasm
# Left out: what WebAssembly in a page has not (a second thread, fork and resource limits,
# FIFOs).
not_portable='ThreadedImportEqualsOneThread|ReadingInTwoHalvesEqualsOneReading|SecondThread'
not_portable+='|fuzz_replay_polygon_load|FileSizeLimitMakesTheSaveFailWithoutDamage'
not_portable+='|DevicesAreNeverReplaced'
ctest --preset wasm -j2 -E "$not_portable"
gen=$(mktemp -d)
trap 'rm -rf "$gen"' EXIT
"$native/bin/zevrin_web_gen" "$gen" 200
node web/tests/equal_native.mjs "$native/bin/zevrin" build/wasm/bin/zevrin_module.js \
  tests/data tests/data/tag examples fuzz/corpus/model_load fuzz/corpus/model_edits fuzz/corpus/polygon_load "$gen"
node web/tests/browser.mjs build/wasm/page "$native/bin/zevrin" examples build/screenshots

#!/usr/bin/env bash
# The web page: the core's tests built to WebAssembly and run under node, the module's output
# against the native command line's on every test and corpus file (Assimp's formats among them)
# and 200 generated files, its exports against `zevrin export`'s, and the page driven in
# headless Chromium (screenshots in build/screenshots/page_*.png).
#   bash scripts/web_test.sh [NATIVE_BUILD]   (the native build with zevrin; default build/asan)
set -euo pipefail
cd "$(dirname "$0")/.."
native=${1:-build/asan}
bash scripts/setup_web.sh
bash scripts/build_assimp_wasm.sh  # once; reused while the script is unchanged
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
# The shared corpus, where this machine has it.
corpus=()
[ -d /work/shared/corpus ] && corpus=(/work/shared/corpus)
node web/tests/equal_native.mjs "$native/bin/zevrin" build/wasm/bin/zevrin_module.js \
  tests/data/tag fuzz/corpus/model_load fuzz/corpus/model_edits fuzz/corpus/polygon_load "$gen" \
  "${corpus[@]}" --exports tests/data tests/data/assimp examples
node web/tests/browser.mjs build/wasm/page "$native/bin/zevrin" examples build/screenshots

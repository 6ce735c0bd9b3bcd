#!/usr/bin/env bash
# Checks that every source is as clang-format writes it; builds Zevrin with AddressSanitizer
# and UndefinedBehaviorSanitizer and runs every test, after a short run of each fuzz target;
# then the core alone, built with ThreadSanitizer, runs its own tests (the threaded reading
# and import among them); then the web page (scripts/web_test.sh): the core as WebAssembly
# under node and in headless Chromium.
#   ZEVRIN_FUZZ_SECONDS=N   seconds per fuzz target (default 60; 0 skips the fuzzing)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/format.sh --check
cmake --preset asan >/dev/null
cmake --build --preset asan
# A short run of every fuzz target from the shipped seeds (longer runs: scripts/fuzz.sh 3600).
fuzz_seconds=${ZEVRIN_FUZZ_SECONDS:-60}
if [ "$fuzz_seconds" -gt 0 ]; then
  bash scripts/fuzz.sh "$fuzz_seconds"
else
  echo "Fuzzing skipped (ZEVRIN_FUZZ_SECONDS=0)."
fi
ctest --preset asan
# The core without Qt, Assimp or CLI11, under ThreadSanitizer.
cmake --preset tsan >/dev/null
cmake --build --preset tsan
ctest --preset tsan
# The web page: the core's tests as WebAssembly, its output against the command line's, the
# page in headless Chromium.
bash scripts/web_test.sh build/asan

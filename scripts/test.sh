#!/usr/bin/env bash
# Builds Zevrin with AddressSanitizer and UndefinedBehaviorSanitizer and runs every test,
# after a short run of each fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset asan >/dev/null
cmake --build --preset asan
# A short run of every fuzz target from the shipped seeds (longer runs: scripts/fuzz.sh 3600).
bash scripts/fuzz.sh "${ZEVRIN_FUZZ_SECONDS:-60}"
ctest --preset asan

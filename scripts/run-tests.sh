#!/usr/bin/env bash
# Builds everything and runs every test: the plain build, then the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)
for preset in debug asan; do
    echo "=== ${preset}: build"
    cmake --preset "$preset"
    cmake --build --preset "$preset" -j "$jobs"
    echo "=== ${preset}: tests"
    ctest --preset "$preset" -j "$jobs"
done

echo "=== fuzz targets (bounded time each)"
bash scripts/run-fuzz.sh "${FUZZ_SECONDS:-20}"

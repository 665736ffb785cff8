#!/usr/bin/env bash
# Builds everything and runs every test: the plain build, then the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer.
# First the Windows program and its tests (cross-built, run under Wine); the plain build's
# end-to-end tests run that n64-update.exe under Wine against the mounted emulated reader.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)
# Every ctest summary goes here too, for the closing count.
summaries=$(mktemp)
trap 'rm -f "$summaries"' EXIT
run_ctest() {
    ctest "$@" | tee >(grep -E 'tests passed, [0-9]+ tests failed out of' >>"$summaries")
}
windows_program="$PWD/build/windows/update/n64-update.exe"
echo "=== windows: build"
cmake --preset windows
cmake --build --preset windows -j "$jobs"
echo "=== windows: tests (under Wine)"
run_ctest --preset windows -j "$jobs"

for preset in debug asan; do
    echo "=== ${preset}: build"
    cmake --preset "$preset" -DREADER_WINDOWS_PROGRAM="$windows_program"
    cmake --build --preset "$preset" -j "$jobs"
    echo "=== ${preset}: tests"
    run_ctest --preset "$preset" -j "$jobs"
done

echo "=== fuzz targets (bounded time each)"
bash scripts/run-fuzz.sh "${FUZZ_SECONDS:-20}"

total=$(awk '{sum += $NF} END {print sum + 0}' "$summaries")
failed=$(awk '{for (i = 1; i < NF; i++) if ($(i + 1) == "tests" && $(i + 2) == "failed") sum += $i} END {print sum + 0}' "$summaries")
echo "tests: $((total - failed)) passed, $failed failed"

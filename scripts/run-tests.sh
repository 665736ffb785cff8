#!/usr/bin/env bash
# Builds everything and runs every test:
#   1. the 64-bit Windows programs and their tests (cross-built, tests run under Wine);
#   2. the 32-bit Windows programs and tests, cross-built with warnings as errors and checked as
#      files (imports, kind and architecture, resources): nothing here can run 32-bit code;
#   3. the plain Linux build, whose end-to-end tests also run the 64-bit n64-update.exe under Wine
#      against the mounted emulated reader, and the same tests under AddressSanitizer and
#      UndefinedBehaviorSanitizer;
#   4. the packages (the Debian packages and both Windows zips) and their checks
#      (scripts/check-packages.sh: lintian, the manual pages, the completion, and a second build
#      of the commit that must give the same bytes);
#   5. the fuzz targets, for a bounded time each.
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

echo "=== windows32: build (32-bit; built and checked, not run)"
cmake --preset windows32
cmake --build --preset windows32 -j "$jobs"
echo "=== windows32: checks of the programs as files"
run_ctest --preset windows32 -j "$jobs"

for preset in debug asan; do
    echo "=== ${preset}: build"
    cmake --preset "$preset" -DREADER_WINDOWS_PROGRAM="$windows_program"
    cmake --build --preset "$preset" -j "$jobs"
    echo "=== ${preset}: tests"
    run_ctest --preset "$preset" -j "$jobs"
done

echo "=== packages"
bash scripts/make-packages.sh
echo "=== packages: checks"
bash scripts/check-packages.sh | tee >(grep -E '^package checks: [0-9]+ passed, [0-9]+ failed' |
    awk '{ print "package checks: " $5 " tests failed out of " $3 + $5 }' >>"$summaries")

echo "=== fuzz targets (bounded time each)"
bash scripts/run-fuzz.sh "${FUZZ_SECONDS:-20}"

total=$(awk '{sum += $NF} END {print sum + 0}' "$summaries")
failed=$(awk '{for (i = 1; i < NF; i++) if ($(i + 1) == "tests" && $(i + 2) == "failed") sum += $i} END {print sum + 0}' "$summaries")
echo "tests: $((total - failed)) passed, $failed failed"

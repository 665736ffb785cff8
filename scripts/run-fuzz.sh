#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan, UBSan) and runs each for a bounded time, starting from
# its seed corpus in fuzz/corpus/<target>/. New inputs go to a scratch corpus, never into the
# repository. Usage: scripts/run-fuzz.sh [seconds-per-target]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-${FUZZ_SECONDS:-20}}
bash scripts/install-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
status=0
for seeds in fuzz/corpus/*/; do
    target=$(basename "$seeds")
    binary=build/fuzz/fuzz/$target
    mkdir -p "$scratch/$target"
    echo "=== fuzzing $target for ${seconds}s"
    if ! "$binary" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$scratch/$target-" "$scratch/$target" "$seeds" \
        >"$scratch/$target.log" 2>&1; then
        echo "$target FAILED; last lines:"
        tail -n 40 "$scratch/$target.log"
        mkdir -p build/fuzz/crashes && cp "$scratch/$target"-* build/fuzz/crashes/ 2>/dev/null || true
        status=1
    else
        grep -E '^stat::number_of_executed_units|^Done' "$scratch/$target.log" | tail -n 2
    fi
done
exit $status

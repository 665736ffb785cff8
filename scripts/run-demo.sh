#!/usr/bin/env bash
# Builds everything and runs the demo: the update client against an emulated reader.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

cmake --preset release
cmake --build --preset release -j "$(nproc)"
./build/release/emulator/n64-update-demo

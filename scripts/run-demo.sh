#!/usr/bin/env bash
# Builds the demo alone and runs it: the update client against an emulated reader in the same
# process, in real time on this console. Needs only CMake, Ninja and a C++ compiler (installed
# when missing): the demo preset leaves out the tests, the benchmarks and the front-end program,
# and the build makes the one target n64-update-demo.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh demo

cmake --preset demo
cmake --build --preset demo -j "$(nproc)"
./build/demo/emulator/n64-update-demo

#!/usr/bin/env bash
# Makes every package of this version:
#   build/package/packages/*.deb                        the Debian packages (Linux programs and the
#                                                       device library's -dev package)
#   build/windows/packages/n64-update-*-windows-x86_64.zip    the 64-bit Windows programs
#   build/windows32/packages/n64-update-*-windows-i686.zip    the 32-bit Windows programs
# Each from its preset: configured, built, then packed by CPack (cmake/Packaging.cmake).
# Usage: scripts/make-packages.sh [preset...]   (default: package windows windows32)
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh >/dev/null

presets=("$@")
if ((${#presets[@]} == 0)); then
    presets=(package windows windows32)
fi
for preset in "${presets[@]}"; do
    echo "=== packages of the ${preset} preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$(nproc)"
    cpack --preset "$preset"
done

echo "=== packages"
for preset in "${presets[@]}"; do
    find "build/$preset/packages" -maxdepth 1 -type f \( -name '*.deb' -o -name '*.zip' \) \
        -printf '%10s bytes  %p\n' | sort -k3
done

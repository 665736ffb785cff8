#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build and the tests need and the machine lacks.
# Runs as root on a fresh Debian machine; does nothing when everything is there.
set -euo pipefail

packages=(
    cmake ninja-build g++ make pkg-config
    libgtest-dev libgmock-dev googletest
    libbenchmark-dev
    clang libclang-rt-14-dev
    # The Windows program (cross-built, tests under Wine) and the mounted emulated reader.
    g++-mingw-w64-x86-64 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    wine wine64
    fuse3 libfuse3-dev util-linux
    # The dump report of reader-tool (CRC-32), for Linux and for the Windows program.
    zlib1g-dev libz-mingw-w64-dev
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if ((${#missing[@]} > 0)); then
    echo "Installing: ${missing[*]}"
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi

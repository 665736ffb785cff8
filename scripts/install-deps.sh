#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the machine lacks. Runs as root on a fresh Debian
# machine; does nothing when everything is there.
#
#   install-deps.sh        everything: the builds (Linux, Windows 64- and 32-bit), the tests (and
#                          Wine to run the Windows ones), fuzzing, benchmarks, the packages and
#                          clang-format
#   install-deps.sh demo   only what the demo needs: CMake, Ninja and a C++ compiler
#
# Never add Debian's 32-bit Wine (wine32, or any :i386 package): the build machines' kernels run
# no 32-bit code, and once wine32 is installed the plain "wine" command picks the 32-bit loader,
# so the 64-bit Windows tests fail too. The 32-bit Windows build is checked without running it.
set -euo pipefail

demo_packages=(cmake ninja-build g++)

packages=(
    "${demo_packages[@]}" make pkg-config
    libgtest-dev libgmock-dev googletest
    libbenchmark-dev
    clang libclang-rt-14-dev clang-format
    # The Windows programs, cross-built: 64-bit (tests under Wine) and 32-bit.
    g++-mingw-w64-x86-64 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    g++-mingw-w64-i686-posix binutils-mingw-w64-i686
    wine wine64
    # zlib for the front-end program, natively and for both Windows builds; rapidxml (headers
    # only, the same for every build) for its DAT files.
    zlib1g-dev libz-mingw-w64-dev librapidxml-dev
    # The shell's line editing in the Linux reader-tool (the Windows builds do not use it).
    libedit-dev
    # The mounted emulated reader; python3 types at a pseudo-terminal in the shell's end-to-end
    # test, and time (/usr/bin/time) measures a program's peak memory in another.
    fuse3 libfuse3-dev util-linux python3 time
    # The Debian packages: dpkg-shlibdeps works out their library dependencies, and CPack needs
    # file(1) to find the programs among the files it packs; help2man makes the manual pages,
    # zip packs the Windows zips again in a reproducible form.
    dpkg-dev file help2man zip
    # Their checks: Debian's lintian, man to read the pages, bash-completion to try the
    # completion, git to clone the commit for the second build of the reproducibility check.
    lintian man-db bash-completion git
)

case ${1:-} in
    "") ;;
    demo) packages=("${demo_packages[@]}") ;;
    *)
        echo "usage: $0 [demo]" >&2
        exit 2
        ;;
esac

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

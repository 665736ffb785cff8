#!/usr/bin/env bash
# Proves that the packages are reproducible: builds the commit a second time and compares.
#
# The first build is the one scripts/make-packages.sh made in this checkout (build/package,
# build/windows, build/windows32). The second is a clean clone of the same commit in a fresh
# folder, made later, on a tmpfs when one is at hand (whose directory order differs from ext4's),
# with another umask and time zone, without ccache, building only what the packages hold (the
# target package-contents) before CPack packs it. Then the SHA-256 of every .deb, every zip, every
# program in the zips and the shipped .exe files of both builds are compared, one line each.
# Where they differ and diffoscope is installed, it shows how.
#
# The checkout must hold exactly its commit, and its packages must have been made from it. Exits
# 1 on any difference, 3 when there is nothing to compare with (uncommitted changes: the
# packages are those of no commit).
# Usage: scripts/check-reproducible.sh   (after scripts/make-packages.sh)
#   READER_REBUILD_PARENT=DIR   where the second build goes (default: /dev/shm, else $TMPDIR)
#   READER_KEEP_REBUILD=1       keep the second build for inspection
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
presets=(package windows windows32)

fail() {
    echo "check-reproducible: $*" >&2
    exit 1
}

commit=$(git rev-parse --verify HEAD) || fail "this is not a git checkout"
if [[ -n $(git status --porcelain --untracked-files=no) ]]; then
    git status --short --untracked-files=no >&2
    echo "check-reproducible: the checkout has uncommitted changes, so its packages are not" \
        "those of ${commit:0:12}: commit them and run scripts/make-packages.sh again" >&2
    exit 3
fi
for preset in "${presets[@]}"; do
    [[ -n $(find "build/$preset/packages" -maxdepth 1 -type f \( -name '*.deb' -o -name '*.zip' \) \
        2>/dev/null) ]] || fail "no packages in build/$preset/packages: run scripts/make-packages.sh first"
done

parent=${READER_REBUILD_PARENT:-}
if [[ -z $parent ]]; then
    parent=${TMPDIR:-/tmp}
    # A tmpfs lists a folder in another order than ext4 does: a stronger test of member order.
    if [[ -d /dev/shm && -w /dev/shm ]] &&
        (($(df --output=avail -k /dev/shm | tail -n 1) > 2 * 1024 * 1024)); then
        parent=/dev/shm
    fi
fi
second=$(mktemp -d "$parent/n64-update-pkg-rebuild.XXXXXX") || fail "cannot make a folder in $parent"
if [[ ${READER_KEEP_REBUILD:-} == 1 ]]; then
    echo "the second build stays in $second"
else
    trap 'rm -rf "$second"' EXIT
fi

echo "=== second build of ${commit:0:12} in $second ($(df --output=fstype "$second" | tail -n 1))"
git clone --quiet --no-checkout --no-hardlinks "$root" "$second/src" &&
    git -C "$second/src" checkout --quiet --detach "$commit" ||
    fail "cannot clone $commit into $second"

started=$(date +%s.%N)
(
    cd "$second/src" || exit 1
    umask 0002
    export TZ=JST-9 LC_ALL=C.UTF-8
    unset CCACHE_DIR CMAKE_CXX_COMPILER_LAUNCHER CMAKE_C_COMPILER_LAUNCHER
    for preset in "${presets[@]}"; do
        echo "--- $preset"
        cmake --preset "$preset" -DCMAKE_CXX_COMPILER_LAUNCHER= -DCMAKE_C_COMPILER_LAUNCHER= \
            >"$second/configure-$preset.log" 2>&1 ||
            { tail -n 30 "$second/configure-$preset.log"; exit 1; }
        cmake --build --preset "$preset" --target package-contents -j "$(nproc)" \
            >"$second/build-$preset.log" 2>&1 || { tail -n 30 "$second/build-$preset.log"; exit 1; }
        cpack --preset "$preset" >"$second/cpack-$preset.log" 2>&1 ||
            { tail -n 30 "$second/cpack-$preset.log"; exit 1; }
    done
) || fail "the second build failed"
finished=$(date +%s.%N)
seconds=$(awk -v a="$started" -v b="$finished" 'BEGIN { printf "%.0f", b - a }')
printf 'second build: %d min %02d s\n' $((seconds / 60)) $((seconds % 60))

# The programs inside the zips, unpacked side by side.
for build in "$root" "$second/src"; do
    for zip in "$build"/build/windows*/packages/*.zip; do
        mkdir -p "$build/build/unzipped" && (cd "$build/build/unzipped" && cmake -E tar xf "$zip")
    done
done

differences=0
compared=0
compare() {
    local relative=$1 first second_hash
    first=$(sha256sum <"$root/$relative" | cut -d' ' -f1)
    if [[ ! -f "$second/src/$relative" ]]; then
        echo "MISSING   $relative (not made by the second build)"
        differences=$((differences + 1))
        return
    fi
    second_hash=$(sha256sum <"$second/src/$relative" | cut -d' ' -f1)
    compared=$((compared + 1))
    if [[ $first == "$second_hash" ]]; then
        echo "same      $first  $relative"
    else
        echo "DIFFERENT $first  $second_hash  $relative"
        differences=$((differences + 1))
        if command -v diffoscope >/dev/null; then
            diffoscope --text - "$root/$relative" "$second/src/$relative" 2>/dev/null |
                head -n 60 | sed 's/^/          /'
        fi
    fi
}

echo "=== SHA-256 of the first build (this checkout) and the second"
mapfile -t files < <(
    cd "$root" &&
        find build/package/packages build/windows/packages build/windows32/packages \
            -maxdepth 1 -type f \( -name '*.deb' -o -name '*.zip' \) &&
        find build/unzipped -type f -name '*.exe'
)
for relative in "${files[@]}"; do
    compare "$relative"
done
# The shipped programs as linked, before CPack strips them for the zip.
mapfile -t linked < <(
    cd "$root" &&
        for zipped in build/unzipped/*/*.exe; do
            find build/windows build/windows32 -type f -name "$(basename "$zipped")" \
                -not -path '*/_CPack_Packages/*' -not -path '*/tests/*'
        done | sort -u
)
for relative in "${linked[@]}"; do
    compare "$relative"
done
rm -rf "$root/build/unzipped"

echo "reproducible: $compared compared, $differences different"
if ((differences > 0)); then
    echo "(were the packages in build/ made from ${commit:0:12}? scripts/make-packages.sh makes them)"
fi
((differences == 0 && compared > 0))

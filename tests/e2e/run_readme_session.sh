#!/usr/bin/env bash
# The README's by-hand session of reader-tool, run exactly as written: the "$ " lines of the block
# that follows the marker "<!-- by-hand session -->" in README.md, in an empty folder, with the
# programs of this build on the PATH under their installed names. No mount namespace: reader-tool
# is pointed at the emulated reader's mount with --drive, as a user on a plain Linux machine
# does.
#
#   run_readme_session.sh README
#
# Needs READER_EMULATOR, READER_TOOL_LINUX, MAKE_TEST_IMAGES and E2E_WORK.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=e2e_lib.sh
source "$here/e2e_lib.sh"

[[ $# -eq 1 && -f "$1" ]] || fail "usage: $0 README"
readme=$1
[[ -n "${E2E_WORK:-}" ]] || fail "E2E_WORK is not set"
[[ -x "${READER_TOOL_LINUX:-}" ]] || fail "READER_TOOL_LINUX is not set"
[[ -x "${MAKE_TEST_IMAGES:-}" ]] || fail "MAKE_TEST_IMAGES is not set"
need_fuse

# The session's commands: the "$ " lines of the first fenced block after the marker.
mapfile -t commands < <(awk '
    /<!-- by-hand session -->/ { marked = 1; next }
    marked && /^```/ { if (inside) exit; inside = 1; next }
    inside && /^\$ / { print substr($0, 3) }
' "$readme")
((${#commands[@]} >= 4)) || fail "$readme holds no by-hand session after its marker"

dir="$E2E_WORK/readme-session"
rm -rf "$dir"
mkdir -p "$dir/bin" "$dir/session"
ln -s "$READER_TOOL_LINUX" "$dir/bin/reader-tool"
ln -s "$READER_EMULATOR" "$dir/bin/reader-emulator"
ln -s "$MAKE_TEST_IMAGES" "$dir/bin/make-test-images"
export PATH="$dir/bin:$PATH"
cd "$dir/session"

# The mounts the session made below its folder, as /proc/self/mounts names them.
session_mounts() {
    awk -v prefix="$PWD/" 'index($2, prefix) == 1 { print $2 }' /proc/self/mounts
}

background=()
finish() {
    local mount
    for mount in $(session_mounts); do
        fusermount3 -u -z "$mount" 2>/dev/null || true
    done
    local pid
    for pid in "${background[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
}
trap finish EXIT

n=0
for command in "${commands[@]}"; do
    n=$((n + 1))
    echo "\$ $command"
    if [[ $command == *' &' ]]; then
        # A program left running (the emulated reader): as a person would, wait until its mount is
        # in place before typing the next line.
        eval "${command% &}" >"$n.out" 2>&1 &
        background+=($!)
        for ((tries = 0; tries < 200; ++tries)); do
            [[ -z "$(session_mounts)" ]] || break
            kill -0 "${background[-1]}" 2>/dev/null || {
                cat "$n.out" >&2
                fail "'$command' stopped before its mount was in place"
            }
            sleep 0.05
        done
        [[ -n "$(session_mounts)" ]] || fail "'$command' mounted nothing within 10 s"
        continue
    fi
    status=0
    eval "$command" >"$n.out" 2>&1 || status=$?
    cat "$n.out"
    [[ $status -eq 0 ]] || fail "'$command' ended with status $status"
done

# The reader stopped cleanly with the last line (its unmount).
for pid in "${background[@]}"; do
    status=0
    wait "$pid" || status=$?
    [[ $status -eq 0 ]] || fail "the program left running ended with status $status"
done
background=()
[[ -z "$(session_mounts)" ]] || fail "the session left a mount behind: $(session_mounts)"

# What the session must have shown and left: the reader named by the folder given to --drive, the
# dump's size found from the cartridge, the dump equal to the image in big-endian order and
# verified against the project's DAT, and its check without a bad header.
all=$(cat ./*.out)
[[ $all == *"reader      N64 reader N64_KRN20_RV100"* ]] || fail "no info of the reader"
[[ $all == *"from the N64 reader N64_KRN20_RV100 at reader"* ]] ||
    fail "the dump does not name the reader by its folder"
same_bytes "the dumped file" images/n64-6102.z64 game.z64
[[ $all == *"Header checksums: OK"* ]] || fail "no good header check"
[[ $all == *"size 8 MiB: open bus from 0x10800000"* ]] || fail "no size found from the cartridge"
[[ $all == *"DAT: verified, Project Test 6102 (World)"* ]] || fail "no DAT verification"
echo "PASS: the README's by-hand session, ${#commands[@]} commands"

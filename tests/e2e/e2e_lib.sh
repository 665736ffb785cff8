# Shared by the end-to-end scripts (sourced, not run).
#
# Environment, set by CTest (tests/e2e/CMakeLists.txt):
#   READER_EMULATOR   the reader-emulator program (empty when libfuse3 was missing at build time)
#   E2E_REFERENCE     the e2e-reference program
#   E2E_WORK          a folder of the build directory for the tests' files
#   CI                "true" in CI, where a test that cannot run is a failure, not a skip

readonly SKIP_CODE=77

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# A test that cannot run here is skipped with its reason; in CI that is a failure.
skip() {
    if [[ "${CI:-}" == "true" ]]; then
        fail "cannot run in CI: $*"
    fi
    echo "SKIP: $*"
    exit "$SKIP_CODE"
}

need_fuse() {
    [[ -c /dev/fuse ]] || skip "/dev/fuse is missing: the emulated reader cannot be mounted"
    command -v fusermount3 >/dev/null || skip "fusermount3 is missing (apt-get install fuse3)"
    [[ -n "${READER_EMULATOR:-}" && -x "${READER_EMULATOR}" ]] ||
        skip "reader-emulator was not built (apt-get install libfuse3-dev, then configure again)"
}

# Whether a file system is mounted at the path, as /proc/self/mounts names it (octal escapes).
is_mounted() {
    local escaped
    escaped=$(printf '%s' "$1" | sed -e 's/\\/\\134/g' -e 's/ /\\040/g' -e 's/\t/\\011/g')
    MOUNT_POINT="$escaped" awk '$2 == ENVIRON["MOUNT_POINT"] { found = 1 } END { exit !found }' \
        /proc/self/mounts
}

EMULATOR_PID=""
EMULATOR_MOUNT=""

# launch_emulator MOUNT LOG [reader-emulator options...]: starts a fresh emulated reader on MOUNT
# and returns at once; await_mount waits for its mount.
launch_emulator() {
    local mount=$1 log=$2
    shift 2
    mkdir -p "$mount"
    # A mount left behind by an interrupted run.
    if is_mounted "$mount"; then
        fusermount3 -u -z "$mount" || true
    fi
    "$READER_EMULATOR" "$mount" "$@" 2>"$log" &
    EMULATOR_PID=$!
    EMULATOR_MOUNT=$mount
}

# await_mount PID MOUNT LOG: waits until the emulator PID has its mount in place.
await_mount() {
    local pid=$1 mount=$2 log=$3 tries
    for ((tries = 0; tries < 200; ++tries)); do
        if is_mounted "$mount"; then
            return 0
        fi
        if ! kill -0 "$pid" 2>/dev/null; then
            cat "$log" >&2
            fail "reader-emulator stopped before its mount was in place"
        fi
        sleep 0.05
    done
    fail "reader-emulator did not mount $mount within 10 s"
}

# start_emulator MOUNT LOG [reader-emulator options...]: mounts a fresh emulated reader and waits
# until the mount is in place.
start_emulator() {
    launch_emulator "$@"
    await_mount "$EMULATOR_PID" "$1" "$2"
}

# Several readers at once, each on a mount of its own: add_reader MOUNT LOG [options...] starts
# one more without waiting, await_readers waits for every mount, stop_readers unmounts them all
# and waits for each emulator to stop cleanly.
READER_PIDS=()
READER_MOUNTS=()
READER_LOGS=()

add_reader() {
    launch_emulator "$@"
    READER_PIDS+=("$EMULATOR_PID")
    READER_MOUNTS+=("$EMULATOR_MOUNT")
    READER_LOGS+=("$2")
    EMULATOR_PID=""
}

await_readers() {
    local i
    for i in "${!READER_PIDS[@]}"; do
        await_mount "${READER_PIDS[i]}" "${READER_MOUNTS[i]}" "${READER_LOGS[i]}"
    done
}

stop_readers() {
    while ((${#READER_PIDS[@]} > 0)); do
        EMULATOR_PID=${READER_PIDS[-1]}
        EMULATOR_MOUNT=${READER_MOUNTS[-1]}
        unset 'READER_PIDS[-1]' 'READER_MOUNTS[-1]' 'READER_LOGS[-1]'
        stop_emulator
    done
}

# Unmounts and waits for the emulator to save its state and transcript and stop cleanly.
stop_emulator() {
    [[ -n "$EMULATOR_PID" ]] || return 0
    fusermount3 -u "$EMULATOR_MOUNT" || fail "cannot unmount $EMULATOR_MOUNT"
    local status=0
    wait "$EMULATOR_PID" || status=$?
    EMULATOR_PID=""
    [[ $status -eq 0 ]] || fail "reader-emulator ended with status $status"
}

# On any exit: never leave a mount or an emulator behind.
cleanup_emulator() {
    if [[ -n "$EMULATOR_PID" ]]; then
        READER_PIDS+=("$EMULATOR_PID")
        READER_MOUNTS+=("$EMULATOR_MOUNT")
        EMULATOR_PID=""
    fi
    local i
    for i in "${!READER_PIDS[@]}"; do
        fusermount3 -u -z "${READER_MOUNTS[i]}" 2>/dev/null || true
        kill "${READER_PIDS[i]}" 2>/dev/null || true
        wait "${READER_PIDS[i]}" 2>/dev/null || true
    done
    READER_PIDS=()
    READER_MOUNTS=()
    READER_LOGS=()
}

# same_bytes WHAT EXPECTED ACTUAL: the files are equal byte for byte; shows the difference if not.
same_bytes() {
    local what=$1 expected=$2 actual=$3
    if ! cmp -s "$expected" "$actual"; then
        echo "--- $what differs (expected, then actual; control characters shown):" >&2
        diff <(cat -A "$expected") <(cat -A "$actual") >&2 || true
        fail "$what differs from $expected"
    fi
}

# has_text FILE TEXT: the file holds TEXT somewhere, byte for byte (printf escapes such as \n and
# \r allowed in TEXT).
has_text() {
    local file=$1 text haystack
    text=$(printf '%b_' "$2")
    text=${text%_}
    haystack=$(
        cat "$file"
        printf '_'
    )
    haystack=${haystack%_}
    [[ "$haystack" == *"$text"* ]] || fail "$(basename "$file") lacks: $2"
}

# is_text FILE TEXT: the file holds exactly TEXT (printf escapes allowed).
is_text() {
    local file=$1
    cmp -s "$file" <(printf '%b' "$2") || {
        cat -A "$file" >&2
        fail "$(basename "$file") is not exactly: $2"
    }
}

# need_wine_program PROGRAM NAME: the Windows program NAME (n64-update.exe, reader-tool.exe) runs
# under Wine in the prefix the e2e_wine_prefix test made; PROGRAM is its path.
need_wine_program() {
    command -v wine >/dev/null || skip "wine is missing (apt-get install wine wine64)"
    [[ -n "${1:-}" && -f "$1" ]] ||
        skip "$2 is not built (cmake --preset windows && cmake --build --preset windows)"
    [[ -f "${WINEPREFIX:-}/system.reg" && -L "$WINEPREFIX/dosdevices/e:" ]] ||
        fail "the Wine prefix is not ready (the e2e_wine_prefix test makes it)"
}

# need_program_in_namespace PROGRAM VARIABLE: the Linux program runs in a private mount namespace
# (root only); PROGRAM is its path as VARIABLE gives it.
need_program_in_namespace() {
    [[ -x "${1:-}" ]] || fail "$2 is not set"
    command -v unshare >/dev/null || skip "unshare is missing (apt-get install util-linux)"
    unshare --mount --propagation private true 2>/dev/null ||
        skip "cannot make a private mount namespace (needs root)"
}

# make_fake_system MOUNT FAKE: the system as the Linux program sees it inside its namespace, in the
# folder FAKE (its mounts file and sys tree): a fixed FAT volume (an EFI system partition on an
# NVMe disk, drive D:) and the reader, a removable USB disk whose first partition is mounted at
# MOUNT (drive E:).
make_fake_system() {
    local mount=$1 fake=$2
    local usb=devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host7/target7:0:0/7:0:0:0/block/sdz
    local nvme=devices/pci0000:00/0000:00:1d.0/0000:3d:00.0/nvme/nvme0/nvme0n1
    mkdir -p "$fake/sys/$usb/sdz1" "$fake/sys/$nvme/nvme0n1p1" "$fake/sys/class/block"
    echo 1 >"$fake/sys/$usb/removable"
    echo 1 >"$fake/sys/$usb/sdz1/partition"
    echo 0 >"$fake/sys/$nvme/removable"
    echo 1 >"$fake/sys/$nvme/nvme0n1p1/partition"
    ln -s "../../$usb" "$fake/sys/class/block/sdz"
    ln -s "../../$usb/sdz1" "$fake/sys/class/block/sdz1"
    ln -s "../../$nvme" "$fake/sys/class/block/nvme0n1"
    ln -s "../../$nvme/nvme0n1p1" "$fake/sys/class/block/nvme0n1p1"
    local escaped
    escaped=$(printf '%s' "$mount" | sed -e 's/\\/\\134/g' -e 's/ /\\040/g' -e 's/\t/\\011/g')
    cat >"$fake/mounts" <<EOF
/dev/vda1 / ext4 rw,relatime 0 0
proc /proc proc rw,nosuid,nodev,noexec,relatime 0 0
sysfs /sys sysfs rw,nosuid,nodev,noexec,relatime 0 0
/dev/nvme0n1p1 /boot/efi vfat rw,relatime,fmask=0077,dmask=0077,codepage=437,iocharset=ascii 0 0
/dev/sdz1 $escaped vfat rw,nosuid,nodev,relatime,uid=0,gid=0,fmask=0022,dmask=0022,utf8 0 0
EOF
}

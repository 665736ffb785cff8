#!/usr/bin/env bash
# Builds the optimised programs and prints every figure of the README's "Figures" section:
#   1. the machine;
#   2. the power-cut campaign (in process, virtual time);
#   3. the device-file operations of a full update next to the protocol's minimum;
#   4. Google Benchmark: CRC-16 throughput next to a bitwise reference, disassembled lines per
#      second, CPU time of a full update in process; CPU time of reader-tool's dump report over a
#      64 MiB image (hashing it, and with the hashes a dump computed as it read), CRC32 and SHA-1
#      in MiB/s, the hashes as a dump computes them chunk by chunk, and a DAT file of 10,000
#      entries read, indexed and matched against one dump;
#   5. a full update from firmware 300 in real time against the mounted emulated reader, with the
#      Linux n64-update and with n64-update.exe under Wine, next to the waits the device imposes
#      (5000 ms after the restart, 300 ms per programmed block);
#   6. a 32 MiB dump by the Linux reader-tool from the mounted reader, next to dd reading the same
#      bytes of DUMP.ROM unbuffered on the same mount (the whole run's time as a multiple of dd's),
#      and the CPU time of a whole 64 MiB dump and of check over its file.
# The last two need /dev/fuse, and root for a private mount namespace (the Linux n64-update, and
# reader-tool finding the reader without --drive) and Wine; what cannot run here is reported and
# left out.
# Usage: scripts/run-benchmarks.sh [dump]   (dump: the machine and the reader-tool figures alone)
#        READER_TOOL=PATH scripts/run-benchmarks.sh dump   (the figures of another reader-tool
#        build, such as an earlier commit's, against this build's emulator)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
only_dump=0
if [[ "${1:-}" == dump ]]; then
    only_dump=1
fi

bash scripts/install-deps.sh >/dev/null

echo "=== machine"
echo "cores: $(nproc)"
lscpu | sed -n 's/^Model name: *//p' | sed 's/^/cpu: /'
awk '/^MemTotal:/ { printf "memory: %.1f GiB\n", $2 / 1048576 }' /proc/meminfo
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"

echo "=== build (release, and the Windows program)"
cmake --preset release >/dev/null
if ((only_dump)); then
    cmake --build --preset release -j 2 --target reader-emulator reader-tool >/dev/null
else
    cmake --build --preset release -j 2 --target reader_benchmarks rom_benchmarks \
        full-update-figures power-cut-campaign n64-update reader-emulator reader-tool >/dev/null
fi
have_wine=1
if ((only_dump)); then
    have_wine=0
elif cmake --preset windows >/dev/null 2>&1 &&
    cmake --build --preset windows -j 2 --target n64-update >/dev/null 2>&1; then
    windows_program=$root/build/windows/update/n64-update.exe
else
    echo "the Windows program could not be built: the Wine figures are left out"
    have_wine=0
fi

if ((!only_dump)); then

echo
echo "=== power-cut campaign: build/release/proof/power-cut-campaign"
./build/release/proof/power-cut-campaign

echo
echo "=== device-file operations: build/release/bench/full-update-figures"
./build/release/bench/full-update-figures

echo
echo "=== benchmarks: build/release/bench/reader_benchmarks"
# Debian builds the benchmark library without NDEBUG; its warning about that is left out.
./build/release/bench/reader_benchmarks 2>&1 |
    grep -v '^\*\*\*WARNING\*\*\* Library was built as DEBUG'

echo
echo "=== dump report over a 64 MiB image, hashes, DAT of 10,000 entries: build/release/bench/rom_benchmarks"
./build/release/bench/rom_benchmarks 2>&1 |
    grep -v '^\*\*\*WARNING\*\*\* Library was built as DEBUG'

fi  # only_dump

# The emulator's start, stop and clean-up, as the end-to-end tests use them.
# shellcheck source=../tests/e2e/e2e_lib.sh
source "$root/tests/e2e/e2e_lib.sh"
READER_EMULATOR=$root/build/release/emulator/reader-emulator
work=$root/build/release/bench-realtime
rm -rf "$work"
mkdir -p "$work"
trap cleanup_emulator EXIT

# The fixed waits of the client: 5000 ms after the restart, 300 ms before each block's write.
readonly restart_wait_ms=5000
readonly block_wait_ms=300

if [[ ! -c /dev/fuse ]] || ! command -v fusermount3 >/dev/null; then
    echo "no /dev/fuse or fusermount3: the real-time figures are left out"
    exit 0
fi

now_ms() { echo $(($(date +%s%N) / 1000000)); }

if ((!only_dump)); then
echo
echo "=== full update in real time against the mounted emulated reader"

# The Linux program finds the reader as a removable FAT volume on a USB disk: in a private mount
# namespace, /proc/self/mounts and /sys are replaced by a description of such a system
# (make_fake_system, from tests/e2e/e2e_lib.sh) whose volume is mounted at the emulator's mount
# point.
run_linux() {
    unshare --mount --propagation private -- bash -c \
        'mount --bind "$1" "/proc/$$/mounts" && mount --bind "$2" /sys && exec "$3"' \
        namespace "$work/linux/mounts" "$work/linux/sys" "$root/build/release/update/n64-update" \
        </dev/null >"$1" 2>"$1.stderr"
}

run_wine() {
    (cd "$work" && WINEPREFIX=$work/wineprefix WINEDEBUG=-all wine "$windows_program" \
        </dev/null >"$1" 2>"$1.stderr")
    WINEPREFIX=$work/wineprefix wineserver -k 2>/dev/null || true
    WINEPREFIX=$work/wineprefix wineserver -w 2>/dev/null || true
}

results=()

# measure CLIENT LABEL MOUNT [reader-emulator options...]: one run of the program against a fresh
# reader with the old firmware; records the wall time next to the waits of the blocks it
# programmed.
measure() {
    local client=$1 label=$2 mount=$3
    shift 3
    local name=${label//[^a-z0-9]/-}
    local out=$work/$client-${name%%-}
    start_emulator "$mount" "$out.emulator.log" "$@"
    local start end
    start=$(now_ms)
    "run_$client" "$out.stdout"
    end=$(now_ms)
    stop_emulator
    local programmed waits
    programmed=$({ grep -aoE 'Update block [0-9]+ \(' "$out.stdout" || true; } | wc -l)
    waits=0
    if grep -q 'Try to reboot device to bootloader' "$out.stdout"; then
        waits=$((restart_wait_ms + programmed * block_wait_ms))
    fi
    if [[ $label == "full update" ]] && ! grep -q 'Update firmware success' "$out.stdout"; then
        cat -A "$out.stdout" >&2
        fail "$client: the update did not succeed"
    fi
    results+=("$(printf '%-8s %-34s %9d %9d' "$client" "$label" $((end - start)) "$waits")")
}

if unshare --mount --propagation private true 2>/dev/null; then
    make_fake_system "$work/linux-drive" "$work/linux"
    measure linux "start-up and exit alone (no reader)" "$work/linux-drive" --powered-off
    measure linux "full update" "$work/linux-drive"
else
    echo "no private mount namespace (needs root): the Linux figures are left out"
fi

if ((have_wine)) && command -v wine >/dev/null; then
    # A Wine prefix of its own whose drive E: is the mount point, reported removable.
    WINEPREFIX=$work/wineprefix E2E_DRIVE_E=$work/wine-drive \
        bash tests/e2e/wine_prefix.sh setup >/dev/null
    measure wine "start-up and exit alone (no reader)" "$work/wine-drive" --powered-off
    measure wine "full update" "$work/wine-drive"
    WINEPREFIX=$work/wineprefix E2E_DRIVE_E=$work/wine-drive bash tests/e2e/wine_prefix.sh cleanup
else
    echo "no Wine: the Wine figures are left out"
fi

echo
printf '%-8s %-34s %9s %9s %7s\n' "program" "run" "wall ms" "waits ms" "ratio"
for row in "${results[@]}"; do
    wall=$(awk '{ print $(NF - 1) }' <<<"$row")
    waits=$(awk '{ print $NF }' <<<"$row")
    if ((waits > 0)); then
        printf '%s %7.3f\n' "$row" "$(awk -v w="$wall" -v i="$waits" 'BEGIN { print w / i }')"
    else
        printf '%s %7s\n' "$row" "-"
    fi
done

fi  # only_dump

echo
echo "=== reader-tool: a 32 MiB dump from the mounted reader, next to dd on the same mount"
# An N64 reader serves a 32 MiB image presented byte-swapped (an N64 marker, then random bytes),
# as many cartridges are read. reader-tool (Linux) dumps it into a big-endian file; dd reads the
# same 32 MiB of DUMP.ROM unbuffered in 1 MiB blocks into nothing, and once more in one 32 MiB
# block (into fresh memory of the image's size, as a dump must hold it). Each runs 11 times,
# alternately, and the medians are shown, each as a multiple of the time dd takes with 1 MiB
# blocks (dd's own figure: from its first read to its last).
#
# "reading" is reader-tool's own figure for its transfer (its "read ... in ... s" line: for every
# chunk the address command, the open, the read and the close of the data file into the image's
# memory, the worker putting the chunk into big-endian order, hashing and writing it meanwhile).
# "whole run" is the process from its start (this shell's fork) to its exit, timed by this shell
# ($EPOCHREALTIME, no process of its own): finding the reader at the mount (--drive) and setting it
# up, the read, the rest of the last chunk's work, flushing the file and putting it in place under
# a new name, and the report. The two rows after it differ in one thing each: the dump replaces the
# previous run's file (--force: the file system also frees the old file's 32 MiB as it is
# replaced), or it runs as the tool finds the reader without --drive, among the removable FAT
# volumes, which needs a private mount namespace here (unshare, a shell and two bind mounts before
# the tool starts, and the namespace's end after it: their time is in the row).
readonly dump_runs=11
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
# Milliseconds between two $EPOCHREALTIME readings.
elapsed_ms() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.0f", (b - a) * 1000 }'; }
# The CPU time (user and system, in ms) of the commands run so far by this subshell's children,
# from the second line of bash's `times` (run in this shell: in a pipeline it would count the
# pipeline's own subshell).
children_cpu_ms() {
    times >"$work/times.txt"
    sed -n 2p "$work/times.txt" | awk '{
        split($1, u, /[ms]/); split($2, s, /[ms]/);
        printf "%.0f", (u[1] * 60 + u[2] + s[1] * 60 + s[2]) * 1000 }'
}
# One dump of the 32 MiB; status 1 is expected (the random image's header checksums are not
# right, which the report says). The file must be the image in big-endian order.
dump_32m() {
    local out=$1
    shift
    "$@" dump "$out" --size 32M --force --quiet >"$work/tool-dump.stdout" \
        2>"$work/tool-dump.stderr" || (($? == 1)) ||
        fail "the dump failed: $(cat "$work/tool-dump.stderr")"
}
check_32m() {
    cmp -s "$work/tool-image.z64" "$1" || fail "the dump differs from the image in big-endian order"
}
# dump_figures LABEL [reader-emulator options...]: the runs and their table for one reader.
dump_figures() {
    local label=$1
    shift
    start_emulator "$work/tool-drive" "$work/tool-emulator.log" --identity N64_KRN20_RV100 \
        --cartridge "$work/tool-image.v64" "$@"
    local tool_read=() tool_whole=() tool_replacing=() tool_namespace=() dd_read=() dd_whole_read=()
    local run start end
    for ((run = 0; run < dump_runs; ++run)); do
        rm -f "$work/tool-dump.z64"
        start=$EPOCHREALTIME
        dump_32m "$work/tool-dump.z64" "$tool" --drive "$work/tool-drive"
        end=$EPOCHREALTIME
        tool_whole+=("$(elapsed_ms "$start" "$end")")
        tool_read+=("$(sed -n 's/^read 32 MiB in \([0-9.]*\) s.*/\1/p' "$work/tool-dump.stdout" |
            awk '{ printf "%.0f", $1 * 1000 }')")
        check_32m "$work/tool-dump.z64"
        start=$EPOCHREALTIME
        dump_32m "$work/tool-dump.z64" "$tool" --drive "$work/tool-drive"
        end=$EPOCHREALTIME
        tool_replacing+=("$(elapsed_ms "$start" "$end")")
        check_32m "$work/tool-dump.z64"
        if ((have_namespace)); then
            rm -f "$work/tool-dump.z64"
            start=$EPOCHREALTIME
            dump_32m "$work/tool-dump.z64" run_tool
            end=$EPOCHREALTIME
            tool_namespace+=("$(elapsed_ms "$start" "$end")")
            check_32m "$work/tool-dump.z64"
        fi
        # The reader presents its data file from the last address it was sent: back to the ROM's
        # start, so that dd reads the same bytes.
        "$tool" --drive "$work/tool-drive" dump "$work/tool-start.z64" --size 1K --force \
            --quiet >/dev/null 2>&1 || true
        dd if="$work/tool-drive/DUMP.ROM" iflag=direct bs=1M count=32 of=/dev/null 2>"$work/dd.log"
        dd_read+=("$(awk '/copied/ { printf "%.3f", $(NF - 3) * 1000 }' "$work/dd.log")")
        dd if="$work/tool-drive/DUMP.ROM" iflag=direct bs=32M count=1 of=/dev/null 2>"$work/dd.log"
        dd_whole_read+=("$(awk '/copied/ { printf "%.3f", $(NF - 3) * 1000 }' "$work/dd.log")")
    done
    stop_emulator
    local dd_ms ms row rows
    dd_ms=$(median "${dd_read[@]}")
    echo
    echo "$label"
    echo "runs: $dump_runs each; dd bs=1M ms: ${dd_read[*]}; dd bs=32M ms: ${dd_whole_read[*]};" \
        "reader-tool reading ms: ${tool_read[*]}; whole run ms: ${tool_whole[*]};" \
        "replacing ms: ${tool_replacing[*]}; in a mount namespace ms: ${tool_namespace[*]:-}"
    printf '%-56s %9s %9s %9s\n' "32 MiB from DUMP.ROM" "ms" "MiB/s" "x dd time"
    rate() { awk -v ms="$1" 'BEGIN { printf "%.0f", 32 * 1000 / ms }'; }
    printf '%-56s %9s %9s %9s\n' "dd iflag=direct bs=1M count=32" "$dd_ms" "$(rate "$dd_ms")" "1.00"
    rows=("dd iflag=direct bs=32M count=1:$(median "${dd_whole_read[@]}")"
        "reader-tool dump, reading:$(median "${tool_read[@]}")"
        "reader-tool dump, whole run:$(median "${tool_whole[@]}")"
        "reader-tool dump, whole run replacing its file:$(median "${tool_replacing[@]}")")
    if ((have_namespace)); then
        rows+=("reader-tool dump, whole run in a mount namespace:$(median "${tool_namespace[@]}")")
    fi
    for row in "${rows[@]}"; do
        ms=${row##*:}
        printf '%-56s %9s %9s %9s\n' "${row%:*}" "$ms" "$(rate "$ms")" \
            "$(awk -v d="$dd_ms" -v t="$ms" 'BEGIN { printf "%.2f", t / d }')"
    done
}
# cpu_figures: the CPU time of a whole 64 MiB dump (the reading, the reordering, the hashes of
# every form, the writing and the report over them) from the emulator serving as fast as it can,
# for the usual case (presented byte-swapped, written big-endian: one set of hashes) and the
# costliest (written little-endian: the file's hashes and the big-endian form's); then check over
# the 64 MiB file, which reads and hashes it once.
cpu_figures() {
    head -c $((64 * 1024 * 1024 - 4)) /dev/urandom >"$work/cpu-body.bin"
    { printf '\x37\x80\x40\x12'; cat "$work/cpu-body.bin"; } >"$work/cpu-image.v64"
    rm -f "$work/cpu-body.bin"
    start_emulator "$work/tool-drive" "$work/tool-emulator.log" --identity N64_KRN20_RV100 \
        --cartridge "$work/cpu-image.v64"
    local usual=() costliest=() checks=() run
    for ((run = 0; run < dump_runs; ++run)); do
        rm -f "$work/cpu-dump.z64" "$work/cpu-dump.n64"
        # Each exits 1 (the random image's header checksums are not right): the time is wanted.
        usual+=("$("$tool" --drive "$work/tool-drive" dump "$work/cpu-dump.z64" --size 64M \
            --quiet >/dev/null 2>&1
            children_cpu_ms)")
        costliest+=("$("$tool" --drive "$work/tool-drive" dump "$work/cpu-dump.n64" --size 64M \
            --quiet --byte-order little-endian >/dev/null 2>&1
            children_cpu_ms)")
        checks+=("$("$tool" check "$work/cpu-dump.z64" >/dev/null 2>&1
            children_cpu_ms)")
    done
    stop_emulator
    echo
    echo "CPU time (user and system) of a whole run over 64 MiB, median of $dump_runs"
    echo "runs ms: dump ${usual[*]}; dump little-endian ${costliest[*]}; check ${checks[*]}"
    printf '%-60s %9s\n' "run" "CPU ms"
    printf '%-60s %9s\n' "reader-tool dump --size 64M (byte-swapped, written big-endian)" \
        "$(median "${usual[@]}")"
    printf '%-60s %9s\n' "reader-tool dump --size 64M --byte-order little-endian" \
        "$(median "${costliest[@]}")"
    printf '%-60s %9s\n' "reader-tool check (the 64 MiB big-endian file)" "$(median "${checks[@]}")"
    rm -f "$work/cpu-image.v64" "$work/cpu-dump.z64" "$work/cpu-dump.n64"
}
tool=${READER_TOOL:-$root/build/release/frontend/reader-tool}
head -c $((32 * 1024 * 1024 - 4)) /dev/urandom >"$work/tool-body.bin"
{ printf '\x37\x80\x40\x12'; cat "$work/tool-body.bin"; } >"$work/tool-image.v64"
# Big-endian is the byte-swapped image with each pair of bytes exchanged.
dd if="$work/tool-image.v64" of="$work/tool-image.z64" conv=swab status=none
rm -f "$work/tool-body.bin"
have_namespace=0
if unshare --mount --propagation private true 2>/dev/null; then
    have_namespace=1
    make_fake_system "$work/tool-drive" "$work/tool"
    run_tool() {
        unshare --mount --propagation private -- bash -c \
            'mount --bind "$1" "/proc/$$/mounts" && mount --bind "$2" /sys && shift 2 && exec "$@"' \
            namespace "$work/tool/mounts" "$work/tool/sys" "$tool" "$@"
    }
else
    echo "no private mount namespace (needs root): the runs without --drive are left out"
fi
dump_figures "the emulated reader as fast as it serves (several GB/s)"
# A reader on USB 2.0 delivers its data at a few tens of MB/s: the same runs with the
# emulated reader paced at 40 MiB/s show what the tool's own work costs next to the device.
dump_figures "the emulated reader paced at 40 MiB/s, as a reader on USB 2.0" --data-rate 40
cpu_figures

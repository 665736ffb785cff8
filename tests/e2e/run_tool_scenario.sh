#!/usr/bin/env bash
# One end-to-end scenario of reader-tool: the real program against a freshly mounted emulated
# reader that serves the project's test images.
#
#   run_tool_scenario.sh wine|linux SCENARIO
#
# wine:  reader-tool.exe under Wine, with drive E: mapped to the mount and reported removable (the
#        Wine prefix is made by wine_prefix.sh). Needs READER_TOOL_EXE, WINEPREFIX, E2E_DRIVE_E.
# linux: the Linux reader-tool, in a private mount namespace whose /proc/self/mounts and /sys name
#        the mount as a removable FAT volume on a USB disk. Needs READER_TOOL_LINUX.
# Both need MAKE_TEST_IMAGES (the images come from it, made afresh for each scenario).
#
# Scenarios: n64_images and sfc_images dump every test image of their system and compare the file
# with the image byte for byte, then check every dumped file; n64_sizes dumps N64 images without
# --size into a folder, under each thing the reader may show past the ROM's end, verified against
# the test images' DAT file and named after their games, and has info find the size of images of
# 1 to 64 MiB under each end; verify dumps with a reader that flips one byte; usage runs the
# command-line mistakes and failures with their exit statuses; streams runs the program with
# standard output on a full device and into a pipe whose reader goes away, and redirects a report
# to a file; no_room dumps onto a disk too small for the dump; oversized_check checks a 3 GiB file.
#
# The program never meets the machine's own DAT files: on Linux its DAT folder is an empty one of
# the scenario's ($XDG_DATA_HOME), under Wine the prefix's own %APPDATA%.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=e2e_lib.sh
source "$here/e2e_lib.sh"

[[ $# -eq 2 ]] || fail "usage: $0 wine|linux SCENARIO"
client=$1
scenario=$2
[[ -n "${E2E_WORK:-}" ]] || fail "E2E_WORK is not set"
[[ -x "${MAKE_TEST_IMAGES:-}" ]] || fail "MAKE_TEST_IMAGES is not set"
dir="$E2E_WORK/tool-$client-$scenario"
rm -rf "$dir"
mkdir -p "$dir/images" "$dir/out" "$dir/data"
trap cleanup_emulator EXIT

# --- the two ways of running the program -------------------------------------------------------

# run_program INPUT [ARGUMENTS...]: the program in $dir/out with standard input from INPUT; its
# standard output and error are the caller's. With SMALL_DISK=FOLDER (a folder below $dir/out) it
# runs in a mount namespace of its own where FOLDER is a file system of 2 MiB (a tmpfs, gone with
# the namespace), and what it left there is listed in $dir/small-disk.listing. With MEASURE=FILE,
# /usr/bin/time writes the program's peak memory (KiB) and its time (s) into FILE.
run_program() {
    local input=$1
    shift
    local program=()
    [[ -z "${MEASURE:-}" ]] || program=(/usr/bin/time -f '%M %e' -o "$MEASURE")
    case $client in
        wine) program+=(wine "$READER_TOOL_EXE") ;;
        linux)
            # A shell whose /proc/$$/mounts, its /proc/self/mounts, becomes the fake system's; exec
            # keeps that process, and so that view, for the program.
            program+=(bash -c 'mount --bind "$0" "/proc/$$/mounts" && exec "$@"'
                "$dir/system/mounts" "$READER_TOOL_LINUX")
            ;;
    esac
    local small=${SMALL_DISK:-}
    # Linux: always in a namespace, whose /sys is the fake system's; under Wine only for the
    # small disk.
    if [[ $client == wine && -z $small ]]; then
        (cd "$dir/out" && WINEDEBUG=-all exec "${program[@]}" "$@" <"$input")
        return
    fi
    local sys=""
    [[ $client == wine ]] || sys="$dir/system/sys"
    (cd "$dir/out" && XDG_DATA_HOME="$dir/data" WINEDEBUG=-all exec unshare --mount \
        --propagation private -- bash -c \
        'sys=$1 small=$2 listing=$3
         shift 3
         if [[ -n $sys ]]; then mount --bind "$sys" /sys || exit 125; fi
         if [[ -n $small ]]; then
             mount -t tmpfs -o size=2m e2e-small-disk "$small" || exit 125
         fi
         status=0
         "$@" || status=$?
         if [[ -n $small ]]; then ls -A "$small" >"$listing"; fi
         exit $status' \
        namespace "$sys" "$small" "$dir/small-disk.listing" "${program[@]}" "$@" <"$input")
}

# run_tool NAME [ARGUMENTS...]: runs the program with standard input from NAME.stdin (if there is
# one, else nothing), its output in NAME.stdout and NAME.stderr; sets STATUS. With STDOUT=FILE
# its standard output goes to FILE instead; with HEAD=N it goes through `head -n N` into
# NAME.stdout, and STATUS is the program's.
run_tool() {
    local name=$1
    shift
    local input=/dev/null
    [[ -f "$dir/$name.stdin" ]] && input="$dir/$name.stdin"
    STATUS=0
    if [[ -n "${HEAD:-}" ]]; then
        set +e
        run_program "$input" "$@" 2>"$dir/$name.stderr" | head -n "$HEAD" >"$dir/$name.stdout"
        local statuses=("${PIPESTATUS[@]}")
        set -e
        STATUS=${statuses[0]}
    else
        run_program "$input" "$@" >"${STDOUT:-$dir/$name.stdout}" 2>"$dir/$name.stderr" ||
            STATUS=$?
    fi
    if [[ $client == wine ]]; then
        # The next mount must meet a fresh wineserver that looks at the drive anew.
        wineserver -k 2>/dev/null || true
        wineserver -w 2>/dev/null || true
        # The Windows C runtime writes in text mode, "\n" as CR LF.
        sed -i 's/\r$//' "$dir/$name.stderr"
        [[ ! -f "$dir/$name.stdout" ]] || sed -i 's/\r$//' "$dir/$name.stdout"
    fi
}

# expect_status NAME CODE: the run ended with this exit status.
expect_status() {
    if [[ $STATUS -ne $2 ]]; then
        cat "$dir/$1.stdout" "$dir/$1.stderr" >&2
        fail "$1: exit status $STATUS, expected $2"
    fi
}

need_fuse
case $client in
    wine)
        need_wine_program "${READER_TOOL_EXE:-}" reader-tool.exe
        mount=$E2E_DRIVE_E
        ;;
    linux)
        need_program_in_namespace "${READER_TOOL_LINUX:-}" READER_TOOL_LINUX
        mount="$dir/drive"
        make_fake_system "$mount" "$dir/system"
        ;;
    *) fail "unknown client $client" ;;
esac

case $scenario in
    no_room | oversized_check) ;;  # the reader's own test cartridge, or no cartridge at all
    *) "$MAKE_TEST_IMAGES" "$dir/images" >/dev/null || fail "make-test-images failed" ;;
esac

# How the program names the reader: by its letter on Windows; on Linux by the mount point of the
# volume it found (info adds the letter), or by the folder --drive gave it. GIVEN is what --drive
# takes for this reader.
case $client in
    wine)
        place="on E:"
        info_place="E:"
        given='E:\'
        given_place="E:"
        nothing_found="no cartridge reader found on the drives D: to Z:"
        ;;
    linux)
        place="at $mount"
        info_place="$mount (E:)"
        given=$mount
        given_place=$mount
        nothing_found="no cartridge reader found on the removable FAT volumes mounted now"
        ;;
esac

# place_given FOLDER: FOLDER as --drive takes it from this program: a Linux path, or under Wine
# the same folder through drive Z:, Wine's view of the whole Linux file system.
place_given() {
    case $client in
        wine) printf 'Z:%s' "${1//\//\\}" ;;
        linux) printf '%s' "$1" ;;
    esac
}

# The report lines of a dump: everything after its "wrote" line.
report_of_dump() {
    sed -n '/^wrote /,$p' "$1" | tail -n +2
}

# dump_image IMAGE IDENTITY EXPECTED [dump options...]: serves IMAGE from a reader with IDENTITY,
# dumps it and compares the file with EXPECTED byte for byte; the dump's report must name the
# header checks the image's name promises.
dump_image() {
    local image=$1 identity=$2 expected=$3
    shift 3
    local name
    name=$(basename "$image")
    start_emulator "$mount" "$dir/$name.emulator.log" --identity "$identity" \
        --cartridge "$image" --transcript "$dir/$name.transcript"
    run_tool "$name.dump" dump "$name.out" --quiet "$@"
    stop_emulator
    # A header check that says bad fails the dump; the file is kept all the same.
    case $name in
        *-bad-*)
            expect_status "$name.dump" 1
            has_text "$dir/$name.dump.stdout" ": bad: calculated "
            has_text "$dir/$name.dump.stderr" "reader-tool: a header check of the dump says bad"
            CHECK_STATUS=1
            ;;
        *)
            expect_status "$name.dump" 0
            has_text "$dir/$name.dump.stdout" ": OK ("
            ;;
    esac
    same_bytes "$name: the dumped file" "$expected" "$dir/out/$name.out"
    report_of_dump "$dir/$name.dump.stdout" >"$dir/$name.report"
    CHECKS+=("check $name.out")
    REPORTS+=("$dir/$name.report")
}

# Checks every dumped file in one shell session (a script through a pipe) and compares each
# report with the one its dump printed; the session fails when a check said bad.
check_all() {
    printf '%s\n' "${CHECKS[@]}" >"$dir/checks.stdin"
    run_tool checks shell
    expect_status checks "$CHECK_STATUS"
    cat "${REPORTS[@]}" >"$dir/checks.expected"
    grep -v '^file ' "$dir/checks.stdout" >"$dir/checks.actual"
    same_bytes "the reports of check" "$dir/checks.expected" "$dir/checks.actual"
}

CHECKS=()
REPORTS=()
CHECK_STATUS=0

scenario_n64_images() {
    local image size
    for image in "$dir"/images/n64-*; do
        size=$(stat -c %s "$image")
        case $image in
            # Written big-endian whatever order the cartridge presents.
            *.v64 | *.n64) dump_image "$image" N64_KRN20_RV100 "$dir/images/n64-6102.z64" \
                --size "$size" ;;
            *) dump_image "$image" N64_KRN20_RV100 "$image" --size "$size" ;;
        esac
    done
    has_text "$dir/n64-6102.v64.dump.stdout" \
        "byte order: written big-endian (the cartridge presented it byte-swapped)\n"
    check_all
}

scenario_sfc_images() {
    local image
    for image in "$dir"/images/sfc-*; do
        case $image in
            # Its header gives the next power of two, 4 MiB: the size is given.
            *-3mib.sfc) dump_image "$image" SFC_KRN02_RV100 "$image" --size 3M ;;
            # The size comes from the cartridge's internal header.
            *) dump_image "$image" SFC_KRN02_RV100 "$image" ;;
        esac
    done
    has_text "$dir/sfc-hirom.sfc.dump.stdout" \
        "size from the cartridge's internal header (HiROM at 0xFFC0, \"PROJECT HIROM TEST\"): ROM size 2 MiB\n"
    check_all
}

# N64 images without --size, under each thing the reader shows past the ROM's end: the size
# found, the file named after its game in the DAT file given, byte for byte the image.
scenario_n64_sizes() {
    cp "$dir/images/project-test-images.dat" "$dir/out/"
    local past image game folder
    for past in open-bus mirror ff; do
        for image in n64-6102-12mib.z64 n64-6102.v64; do
            case $image in
                *12mib*) game="Project Test 6102 12 MiB (World)" ;;
                *) game="Project Test 6102 (World)" ;;
            esac
            folder="$past-${image%.*}"
            mkdir -p "$dir/out/$folder"
            start_emulator "$mount" "$dir/$past-$image.emulator.log" --identity N64_KRN20_RV100 \
                --cartridge "$dir/images/$image" --past-end "$past"
            run_tool "$past-$image" dump "$folder" --dat project-test-images.dat
            stop_emulator
            expect_status "$past-$image" 0
            # Written big-endian whatever order the cartridge presents.
            same_bytes "$image under $past" "$dir/images/${image%.*}.z64" \
                "$dir/out/$folder/$game.z64"
            has_text "$dir/$past-$image.stdout" "named after its DAT entry: $game.z64\n"
            has_text "$dir/$past-$image.stdout" \
                "\nDAT: verified, $game (Project test images)\n"
        done
    done
    has_text "$dir/open-bus-n64-6102-12mib.z64.stdout" "size 12 MiB: open bus from 0x10C00000\n"
    has_text "$dir/mirror-n64-6102-12mib.z64.stdout" \
        "size 12 MiB: the ROM repeats from 0x10C00000\n"
    has_text "$dir/ff-n64-6102.v64.stdout" "size 8 MiB: 0xFF from 0x10800000\n"
    sizes_through_the_mount
}

# Every usual size under every end: info finds the size (it probes, it does not dump; the dumps
# above read to the end found under each end). Each image on a reader of its own, all mounted at
# once and asked in one shell session, so the program starts once.
sizes_through_the_mount() {
    local -A found=([open-bus]="open bus from" [mirror]="the ROM repeats from" [ff]="0xFF from")
    local sizes=(1 4 8 12 16 32 64) past mib folder given end
    for mib in "${sizes[@]}"; do
        "$MAKE_TEST_IMAGES" --n64-size "${mib}M" "$dir/images/n64-${mib}mib.z64" >/dev/null ||
            fail "make-test-images could not make the ${mib} MiB image"
    done
    : >"$dir/sizes.stdin"
    for past in open-bus mirror ff; do
        for mib in "${sizes[@]}"; do
            folder="$dir/sizes/$past-$mib"
            add_reader "$folder" "$dir/sizes-$past-$mib.emulator.log" --identity N64_KRN20_RV100 \
                --cartridge "$dir/images/n64-${mib}mib.z64" --past-end "$past"
            given=$(place_given "$folder")
            echo "--drive \"$given\" info" >>"$dir/sizes.stdin"
        done
    done
    await_readers
    run_tool sizes shell
    stop_readers
    expect_status sizes 0
    for past in open-bus mirror ff; do
        for mib in "${sizes[@]}"; do
            end=$(printf '0x%08X' $((0x10000000 + mib * 0x100000)))
            # The backslashes of a Windows path, as has_text reads them.
            given=$(place_given "$dir/sizes/$past-$mib")
            has_text "$dir/sizes.stdout" "drive       ${given//\\/\\\\}\ncan         dump\n\
dump        from 0x10000000, the start of the ROM window, to where the ROM ends\n\
ROM         size $mib MiB: ${found[$past]} $end\nbyte order  big-endian\n\
title       PROJECT TEST 6102\ngame code   NPTE\nboot code   6102 (CRC32 of 0x40..0xFFF: 90BB6CB5)\n"
        done
    done
}

# A reader that delivers one byte inverted on its first read of the data file: --verify names
# that byte's address (the transcript says which it was) and writes no file.
scenario_verify() {
    local image="$dir/images/n64-6101.z64"
    start_emulator "$mount" "$dir/verify.emulator.log" --identity N64_KRN20_RV100 \
        --cartridge "$image" --transcript "$dir/verify.transcript" --corrupt-data-read 1@0x1234
    run_tool verify dump game.z64 --size 4M --verify
    stop_emulator
    expect_status verify 1
    local address
    address=$(sed -n 's/.*flipped offset=[0-9A-Fa-fx]* address=\(0x\)\{0,1\}\([0-9A-Fa-f]*\).*/\2/p' \
        "$dir/verify.transcript")
    [[ -n "$address" ]] || fail "the transcript names no flipped byte"
    has_text "$dir/verify.stderr" \
        "reader-tool: verification failed: the second read differs first at 0x$address ("
    has_text "$dir/verify.stderr" "game.z64 was not written.\n"
    [[ ! -e "$dir/out/game.z64" ]] || fail "a file was left under the name after the failure"
    [[ -z "$(ls -A "$dir/out")" ]] || fail "the failed dump left files behind: $(ls -A "$dir/out")"
    # Progress went to standard error as plain lines (it is not a terminal here); the second pass
    # stopped in its first chunk, at the difference.
    has_text "$dir/verify.stderr" "dump: 4 MiB of 4 MiB  100%"
    if grep -q "^verify: " "$dir/verify.stderr"; then
        fail "the second pass went on past the difference"
    fi
}

scenario_usage() {
    # Mistakes on the command line: status 2 before anything else happens.
    run_tool noargs
    expect_status noargs 2
    has_text "$dir/noargs.stderr" "Usage: reader-tool [OPTIONS] COMMAND"
    run_tool nocommand --quiet
    expect_status nocommand 2
    run_tool nooperand dump
    expect_status nooperand 2
    is_text "$dir/nooperand.stderr" "reader-tool: dump needs OUT. Try 'reader-tool dump --help'.\n"
    run_tool badsize dump x.bin --size 1G
    expect_status badsize 2
    run_tool badvalue control 300
    expect_status badvalue 2
    run_tool help dump --help
    expect_status help 0
    has_text "$dir/help.stdout" "Usage: reader-tool dump OUT"

    # Needing no reader.
    run_tool missing check missing.bin
    expect_status missing 1
    is_text "$dir/missing.stderr" "reader-tool: cannot open missing.bin: No such file or \
directory. Check the name and that the file is readable.\n"
    cp "$dir/images/sfc-lorom.sfc" "$dir/out/"
    run_tool check check sfc-lorom.sfc
    expect_status check 0
    has_text "$dir/check.stdout" "Checksum: OK"

    # With an N64 reader whose cartridge shows open bus at 2 MiB and data after it: the size it
    # cannot find; a drive that is not the reader.
    local disagreeing="$dir/disagreeing.z64" at
    cp "$dir/images/n64-6101.z64" "$disagreeing"
    for at in 0x200000 0x200200 0x205C00; do
        # shellcheck disable=SC2046 # one argument per repetition of the 2-byte word
        printf "$(printf '\\x%02x\\x%02x' $(((at >> 8) & 0xFF)) $((at & 0xFF)))%.0s" $(seq 256) |
            dd of="$disagreeing" bs=512 seek=$((at / 512)) conv=notrunc status=none
    done
    start_emulator "$mount" "$dir/usage.emulator.log" --identity N64_KRN20_RV100 \
        --cartridge "$disagreeing"
    run_tool info info
    expect_status info 0
    has_text "$dir/info.stdout" "reader      N64 reader N64_KRN20_RV100\ndrive       $info_place\ncan         dump\n"
    has_text "$dir/info.stdout" "\nROM         size not found: the reader shows open bus at \
0x10200000 but data again at 0x10300000; a dump needs --size\nbyte order  big-endian\n"
    # --drive with the reader's own place: its letter as Windows writes a drive's root, or on
    # Linux the folder it is mounted on, used as it is.
    run_tool given --drive "$given" info
    expect_status given 0
    has_text "$dir/given.stdout" "drive       $given_place\ncan         dump\n"
    run_tool nosize dump game.z64
    expect_status nosize 2
    has_text "$dir/nosize.stderr" "needs --size: the end of the cartridge's ROM could not be found \
(the reader shows open bus at 0x10200000 but data again at 0x10300000; usual sizes: 8M, 12M, 16M, \
32M, 64M). Try 'reader-tool dump --help'.\n"
    run_tool otherdrive --drive Q info
    expect_status otherdrive 1
    has_text "$dir/otherdrive.stderr" "no cartridge reader on drive Q: (there is no such drive)"
    run_tool notoffered status
    expect_status notoffered 1
    has_text "$dir/notoffered.stderr" "N64 reader N64_KRN20_RV100 $place has no cartridge status"
    stop_emulator

    # A reader without power is a drive without a medium: no reader found.
    start_emulator "$mount" "$dir/off.emulator.log" --identity N64_KRN20_RV100 --powered-off
    run_tool off info
    stop_emulator
    expect_status off 1
    has_text "$dir/off.stderr" "$nothing_found"
    [[ -z "$(ls -A "$dir/out" | grep -v '^sfc-lorom.sfc$')" ]] ||
        fail "files were left behind: $(ls -A "$dir/out")"
}

scenario_streams() {
    # A report that cannot be written: one line on standard error and status 1.
    cp "$dir/images/sfc-lorom.sfc" "$dir/out/"
    STDOUT=/dev/full run_tool full check sfc-lorom.sfc
    expect_status full 1
    # One line, with the reason in the system's words ("No space left on device" on Linux).
    [[ $(wc -l <"$dir/full.stderr") == 1 ]] || fail "full.stderr is not one line"
    has_text "$dir/full.stderr" "reader-tool: writing standard output failed ("
    has_text "$dir/full.stderr" "). Check the disk or the device that standard output goes to.\n"
    rm "$dir/out/sfc-lorom.sfc"

    # The reader of the pipe goes away after the first line: the dump still completes and puts
    # its file in place, leaves no temporary file, and ends with status 1 and one line. The
    # reader's data rate makes the dump outlast head.
    start_emulator "$mount" "$dir/pipe.emulator.log" --identity SFC_KRN02_RV100 \
        --cartridge "$dir/images/sfc-lorom.sfc" --data-rate 4
    HEAD=1 run_tool pipe dump game.sfc --size 1M
    stop_emulator
    expect_status pipe 1
    is_text "$dir/pipe.stdout" "dumping 0x00000000 to 0x000FFFFF, 0x100000 bytes (1 MiB), from the SFC \
reader SFC_KRN02_RV100 $place\\n"
    [[ "$(grep -c '^reader-tool: ' "$dir/pipe.stderr")" == 1 ]] ||
        fail "pipe.stderr holds other than one error line: $(cat "$dir/pipe.stderr")"
    # The reason in the system's words: "Broken pipe" on Linux, Windows' own text under Wine.
    has_text "$dir/pipe.stderr" "reader-tool: standard output was closed before everything was \
written to it ("
    has_text "$dir/pipe.stderr" "); game.sfc was written.\n"
    same_bytes "the dump through a closed pipe" "$dir/images/sfc-lorom.sfc" "$dir/out/game.sfc"
    [[ "$(ls -A "$dir/out")" == game.sfc ]] || fail "files were left behind: $(ls -A "$dir/out")"

    # A status report redirected to a file holds the report alone: the library's "Init" line
    # goes to standard error, and nowhere with --quiet.
    start_emulator "$mount" "$dir/status.emulator.log" --identity NES_KRN02_RV100
    STDOUT="$dir/s.txt" run_tool status status
    STDOUT="$dir/s-quiet.txt" run_tool quiet status --quiet
    stop_emulator
    expect_status status 0
    expect_status quiet 0
    has_text "$dir/s.txt" "MISC byte: "
    if grep -q Init "$dir/s.txt" "$dir/s-quiet.txt"; then
        fail "the status report holds the Init line"
    fi
    is_text "$dir/status.stderr" "Init NES_KRN02_RV100 OK\n"
    is_text "$dir/quiet.stderr" ""
    same_bytes "the quiet status report" "$dir/s.txt" "$dir/s-quiet.txt"
    # On Windows a report redirected to a file is Windows text: every line ends in CR LF.
    if [[ $client == wine ]]; then
        [[ $(grep -c $'\r$' "$dir/s.txt") == $(wc -l <"$dir/s.txt") ]] ||
            fail "s.txt has lines that do not end in CR LF: $(cat -A "$dir/s.txt")"
        has_text "$dir/s.txt" "MISC byte: 00\r\n"
    fi
}

# A dump the disk cannot hold is refused before the first read: OUT on a file system of 2 MiB,
# a dump of 8 MiB. The reader flips a byte of its first read of the data file, which puts a line
# in its transcript: the transcript must hold the set-up alone. Nothing is left on the small disk.
scenario_no_room() {
    unshare --mount --propagation private true 2>/dev/null ||
        skip "cannot make a private mount namespace for the small disk (needs root)"
    mkdir "$dir/out/small"
    start_emulator "$mount" "$dir/no_room.emulator.log" --identity N64_KRN20_RV100 \
        --transcript "$dir/no_room.transcript" --corrupt-data-read 1
    SMALL_DISK="$dir/out/small" run_tool no_room dump small/game.z64 --size 8M
    stop_emulator
    expect_status no_room 1
    is_text "$dir/no_room.stdout" ""
    has_text "$dir/no_room.stderr" "reader-tool: small/game.z64 needs 8 MiB, but its file system \
has only 2 MiB free. Free some space or choose another place. small/game.z64 was not written.\n"
    [[ $(grep -c '^reader-tool: ' "$dir/no_room.stderr") == 1 ]] ||
        fail "no_room.stderr holds other than one error line: $(cat "$dir/no_room.stderr")"
    is_text "$dir/no_room.transcript" "10 01 InitN64Bus\n"
    is_text "$dir/small-disk.listing" ""
}

# check of a file larger than any image, 3 GiB and sparse: refused from its size, at once and in
# little memory (a check that read it would hold 3 GiB). The bounds are generous; the figures are
# printed.
scenario_oversized_check() {
    [[ -x /usr/bin/time ]] || skip "/usr/bin/time is missing (apt-get install time)"
    truncate -s 3G "$dir/out/big.z64"
    MEASURE="$dir/oversized.time" run_tool oversized check big.z64
    rm "$dir/out/big.z64"
    expect_status oversized 1
    is_text "$dir/oversized.stdout" ""
    is_text "$dir/oversized.stderr" "reader-tool: big.z64 holds 3 GiB, more than any cartridge \
image: it is not a dump. Check the name.\n"
    local kib seconds
    # The last line: before it, time says the command ended with a status other than 0.
    read -r kib seconds < <(tail -n 1 "$dir/oversized.time") || fail "no figures from /usr/bin/time"
    echo "check of a 3 GiB file: peak memory $((kib / 1024)) MiB, $seconds s"
    ((kib < 200 * 1024)) || fail "check of a 3 GiB file took $((kib / 1024)) MiB of memory"
    awk -v s="$seconds" 'BEGIN { exit !(s < 30) }' ||
        fail "check of a 3 GiB file took $seconds s"
}

declare -F "scenario_$scenario" >/dev/null || fail "unknown scenario $scenario"
"scenario_$scenario"
echo "PASS: reader-tool $client $scenario"

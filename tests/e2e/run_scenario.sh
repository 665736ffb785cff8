#!/usr/bin/env bash
# One end-to-end scenario: the real update program against a freshly mounted emulated reader.
#
#   run_scenario.sh wine|linux SCENARIO
#
# wine:  n64-update.exe under Wine, with drive E: mapped to the mount and reported removable
#        (the Wine prefix is made by wine_prefix.sh). Needs N64_UPDATE_EXE, WINEPREFIX, E2E_DRIVE_E.
# linux: the Linux n64-update, in a private mount namespace whose /proc/self/mounts and /sys name
#        the mount as a removable FAT volume on a USB disk. Needs N64_UPDATE_LINUX.
#
# Every run of the program is compared with what e2e-reference works out for the same device:
# standard output byte for byte, the reader's transcript whole, and the flash it leaves. A few
# lines of each scenario are also checked literally, so that the scenario means what it says.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=e2e_lib.sh
source "$here/e2e_lib.sh"

[[ $# -eq 2 ]] || fail "usage: $0 wine|linux SCENARIO"
client=$1
scenario=$2
[[ -n "${E2E_WORK:-}" ]] || fail "E2E_WORK is not set"
[[ -x "${E2E_REFERENCE:-}" ]] || fail "E2E_REFERENCE is not set"
dir="$E2E_WORK/$client-$scenario"
rm -rf "$dir"
mkdir -p "$dir"
trap cleanup_emulator EXIT

# --- the two ways of running the program -------------------------------------------------------

run_wine_client() {
    local status=0
    (cd "$dir" && WINEDEBUG=-all wine "$N64_UPDATE_EXE" </dev/null >"$1" 2>"$1.stderr") ||
        status=$?
    # The next run must find a fresh wineserver that reads the drive settings anew.
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    return "$status"
}

run_linux_client() {
    local fake="$dir/system"
    # exec keeps the shell's process, so /proc/$$/mounts is the program's /proc/self/mounts.
    unshare --mount --propagation private -- bash -c \
        'mount --bind "$1" "/proc/$$/mounts" && mount --bind "$2" /sys && exec "$3"' \
        namespace "$fake/mounts" "$fake/sys" "$N64_UPDATE_LINUX" </dev/null >"$1" 2>"$1.stderr"
}

need_fuse
case $client in
    wine)
        need_wine_program "${N64_UPDATE_EXE:-}" n64-update.exe
        mount=$E2E_DRIVE_E
        run_client() { run_wine_client "$@"; }
        ;;
    linux)
        need_program_in_namespace "${N64_UPDATE_LINUX:-}" N64_UPDATE_LINUX
        mount="$dir/drive"
        make_fake_system "$mount" "$dir/system"
        run_client() { run_linux_client "$@"; }
        ;;
    *) fail "unknown client $client" ;;
esac

# --- one run -------------------------------------------------------------------------------------

step=0
STDOUT=""
TRANSCRIPT=""

# run_step [reader-emulator options...]: mounts a reader with these options that continues from
# the flash the previous run left, runs the program once, and compares everything with the
# reference. Leaves the run's files in STDOUT and TRANSCRIPT.
run_step() {
    step=$((step + 1))
    local out="$dir/run$step"
    start_emulator "$mount" "$out.emulator.log" \
        --state "$dir/state.bin" --transcript "$out.transcript" "$@"
    local status=0
    run_client "$out.stdout" || status=$?
    stop_emulator
    [[ $status -eq 0 ]] || fail "run $step: the program ended with exit code $status"

    "$E2E_REFERENCE" --state "$dir/expected-state.bin" --transcript "$out.expected-transcript" \
        "$@" >"$out.expected-stdout"
    same_bytes "run $step: standard output" "$out.expected-stdout" "$out.stdout"
    same_bytes "run $step: transcript" "$out.expected-transcript" "$out.transcript"
    same_bytes "run $step: flash and boot flag" "$dir/expected-state.bin" "$dir/state.bin"
    STDOUT="$out.stdout"
    TRANSCRIPT="$out.transcript"
}

# Every sector that reached the reader was whole, valid and meant for its mode.
clean_transcript() {
    if grep -nE "rejected|ignored" "$TRANSCRIPT" >&2; then
        fail "the reader rejected or ignored sectors"
    fi
}

# --- the scenarios -------------------------------------------------------------------------------

# A drive letter with no medium behind it (the reader without power): nothing is found.
scenario_no_reader() {
    run_step --powered-off
    is_text "$STDOUT" "Firmware update client not used for your device()\npress any key to exit.\n"
    is_text "$TRANSCRIPT" ""
}

scenario_up_to_date() {
    run_step --firmware-identity N64_KRN03_RV315
    is_text "$STDOUT" "Device N64_KRN03_RV315 not need update firmware\npress any key to exit.\n"
    is_text "$TRANSCRIPT" ""
}

# A reader of another cartridge system: identified and set up, but not updated.
scenario_other_variant() {
    run_step --identity HND_KRN02_RV100
    is_text "$STDOUT" "Init HND_KRN02_RV100 OK\n\
Firmware update client not used for your device(HND_KRN02_RV100)\npress any key to exit.\n"
    # The set-up command is two sectors in one write.
    [[ $(wc -l <"$TRANSCRIPT") -eq 2 ]] || fail "the set-up did not arrive as two sectors"
    clean_transcript
}

# From the old firmware through the bootloader to the new one; the next run finds it current.
scenario_full_update() {
    run_step --restart-ms 500
    has_text "$STDOUT" "Try to reboot device to bootloader\nPlease wait......\nStart update firmware.\n"
    has_text "$STDOUT" "SN:3A7C19E4\n"
    has_text "$STDOUT" "\nUpdate firmware success.\npress any key to exit.\n"
    clean_transcript
    head -n 4 "$TRANSCRIPT" | cut -d' ' -f1-3 | diff - <(printf '%s\n' \
        "F0 07 SetBootMode" "F0 FF Reboot" "F0 0A UpdateBegin" "F0 04 ReadSerial") >&2 ||
        fail "the update did not begin with boot mode, restart, update begin and serial"
    tail -n 2 "$TRANSCRIPT" | diff - <(printf '%s\n' "F0 07 SetBootMode mode=0" "F0 FF Reboot") >&2 ||
        fail "the update did not end by restarting into the firmware"

    run_step --restart-ms 500
    is_text "$STDOUT" "Device N64_KRN03_RV315 not need update firmware\npress any key to exit.\n"
    is_text "$TRANSCRIPT" ""
}

# A flash block that never verifies fails the update and leaves the reader in its bootloader;
# once the block is sound, the next run goes straight to programming and completes.
scenario_stuck_block() {
    run_step --restart-ms 500 --stuck-block 17
    has_text "$STDOUT" "\nUpdate block 17 failure\n"
    has_text "$STDOUT" "\nUpdate firmware failure.try again\npress any key to exit.\n"

    run_step --restart-ms 500
    has_text "$STDOUT" "Start update firmware.\n"
    has_text "$STDOUT" "\nUpdate firmware success.\npress any key to exit.\n"
    if grep -q "Try to reboot" "$STDOUT"; then
        fail "the second run restarted the reader although it was in its bootloader"
    fi
    clean_transcript
}

# The reader needs longer than the program's 5000 ms wait to come back.
scenario_slow_restart() {
    run_step --restart-ms 6000
    is_text "$STDOUT" "Try to reboot device to bootloader\nPlease wait......\n\
Device(N64_KRN03_RV300) not in bootloader mode,please try again.\npress any key to exit.\n"
}

declare -F "scenario_$scenario" >/dev/null || fail "unknown scenario $scenario"
"scenario_$scenario"
echo "PASS: $client $scenario ($step run(s))"

#!/usr/bin/env bash
# The Wine prefix of the end-to-end tests, made afresh once per test run.
#
#   wine_prefix.sh setup     makes WINEPREFIX with drive E: linked to E2E_DRIVE_E (the mount point
#                            of the emulated reader) and reported as a removable drive
#   wine_prefix.sh cleanup   stops the prefix's wineserver
#
# Wine reads its drive settings when its wineserver starts, so both the registry value and the
# dosdevices link are in place before the wineserver that the tests use is started.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=e2e_lib.sh
source "$here/e2e_lib.sh"

[[ -n "${WINEPREFIX:-}" && -n "${E2E_DRIVE_E:-}" ]] || fail "WINEPREFIX and E2E_DRIVE_E must be set"
export WINEDEBUG=-all
# No Mono or Gecko installers: the program needs neither.
export WINEDLLOVERRIDES="mscoree,mshtml="

case ${1:-} in
    setup)
        command -v wineboot >/dev/null || skip "wine is missing (apt-get install wine wine64)"
        # Without FUSE no scenario can run: do not spend the time on a prefix.
        [[ -c /dev/fuse ]] || skip "/dev/fuse is missing: the emulated reader cannot be mounted"
        wineserver -k 2>/dev/null || true
        rm -rf "$WINEPREFIX"
        mkdir -p "$(dirname "$WINEPREFIX")" "$E2E_DRIVE_E"
        wineboot -i >/dev/null 2>&1 || fail "wineboot could not make $WINEPREFIX"
        wine reg add 'HKLM\Software\Wine\Drives' /v e: /t REG_SZ /d floppy /f >/dev/null 2>&1 ||
            fail "cannot mark drive E: removable"
        ln -sfn "$E2E_DRIVE_E" "$WINEPREFIX/dosdevices/e:"
        # Stopping the wineserver writes the registry out; the tests start a fresh one.
        wineserver -k 2>/dev/null || true
        wineserver -w 2>/dev/null || true
        grep -q '"e:"="floppy"' "$WINEPREFIX/system.reg" ||
            fail "drive E: is not recorded as removable in $WINEPREFIX/system.reg"
        echo "Wine prefix ready: $WINEPREFIX (E: -> $E2E_DRIVE_E)"
        ;;
    cleanup)
        if command -v wineserver >/dev/null; then
            wineserver -k 2>/dev/null || true
        fi
        ;;
    *) fail "usage: $0 setup|cleanup" ;;
esac

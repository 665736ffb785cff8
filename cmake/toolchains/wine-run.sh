#!/usr/bin/env bash
# Runs a program of the Windows cross build under Wine:
#
#   wine-run.sh [--prefix WINEPREFIX] PROGRAM.exe [ARGS...]
#
# The cross build passes a prefix in its build directory. A prefix is made on first use, under a
# lock so that tests started in parallel wait for one another instead of each starting to make
# it. Wine's own diagnostics are off, and the Mono and Gecko installers are skipped: the programs
# need neither.
set -euo pipefail

if [[ "${1:-}" == "--prefix" ]]; then
    export WINEPREFIX="$2"
    shift 2
fi

export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

if [[ -n "${WINEPREFIX:-}" ]]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
            wineboot -i >/dev/null 2>&1
            wineserver -w
        fi
    ) 9>"$WINEPREFIX.lock"
fi

exec wine "$@"

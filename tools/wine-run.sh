#!/usr/bin/env bash
# Runs a Windows program under 64-bit Wine and returns its exit code.
# Usage: tools/wine-run.sh <program.exe> [args...]
#
# Used as CMAKE_CROSSCOMPILING_EMULATOR by the x86_64 MinGW toolchain, so ctest
# and gtest_discover_tests run test programs through it. WINEPREFIX defaults to
# <repo>/build/wineprefix and is created on first use.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver

export WINEPREFIX="${WINEPREFIX:-$root/build/wineprefix}"
export WINEARCH=win64
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

if [[ ! -f "$WINEPREFIX/.prefix-ready" ]]; then
    "$root/tools/wine-prefix.sh" "$WINEPREFIX"
fi

# The first program of a Wine session starts wineserver and Wine's background
# processes (services.exe, winedevice.exe, explorer.exe, ...). They inherit that
# program's stderr and keep it open for seconds after it ends, and ctest waits
# for the pipe to close: every test would take 3 s longer. So the session is
# started here with no link to our output, and kept for FW_WINE_PERSIST seconds
# (30) after the last program, so a whole ctest run shares one session.
#
# The session's desktop uses the DISPLAY it was started with; in a session
# started without one, windows cannot be created. A program run with a DISPLAY
# other than the session's therefore restarts the session, which ends the
# programs still running in it: programs that run at the same time must share
# one DISPLAY, or use none.
session_file="$WINEPREFIX/.session-display"
want_display="${DISPLAY:-}"

session_fits() {
    # `wineserver -k0` only tells whether a server runs for this prefix.
    "$WINESERVER" -k0 2>/dev/null || return 1
    [[ -z "$want_display" || "$(cat "$session_file" 2>/dev/null)" == "$want_display" ]]
}

if ! session_fits; then
    exec 9>"$WINEPREFIX.lock"
    flock 9
    if ! session_fits; then
        if "$WINESERVER" -k0 2>/dev/null; then
            "$WINESERVER" -k 2>/dev/null 9>&- || true
            "$WINESERVER" -w 2>/dev/null 9>&- || true
        fi
        printf '%s\n' "$want_display" >"$session_file"
        # 9>&-: the lock must not live on in the server and its processes.
        "$WINESERVER" -p"${FW_WINE_PERSIST:-30}" </dev/null >/dev/null 2>&1 9>&- || true
        # The server's idle timer starts only after a first program has ended.
        "$WINE" cmd.exe /c exit </dev/null >/dev/null 2>&1 9>&- || true
    fi
    exec 9>&-
fi

exec "$WINE" "$@"

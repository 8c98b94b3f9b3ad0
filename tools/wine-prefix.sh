#!/usr/bin/env bash
# Creates a quiet 64-bit Wine prefix if it is not there yet.
# Usage: tools/wine-prefix.sh <prefix-dir>
#
# The Mono and Gecko installers are disabled through DLL overrides, so wineboot
# never opens a dialog and needs no display. Concurrent callers (ctest -j) wait
# on a lock, so the prefix is created once.
set -euo pipefail

if [[ $# -ne 1 || -z "$1" ]]; then
    echo "usage: $0 <prefix-dir>" >&2
    exit 2
fi

WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
if [[ ! -x "$WINE" ]]; then
    echo "$0: $WINE not found; run tools/bootstrap.sh as root" >&2
    exit 1
fi

mkdir -p "$(dirname "$1")"
prefix="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
# Written after wineserver has saved the registry; system.reg alone can show up
# while wineboot is still running.
ready="$prefix/.prefix-ready"

[[ -f "$ready" ]] && exit 0

exec 9>"$prefix.lock"
flock 9
[[ -f "$ready" ]] && exit 0

if [[ -e "$prefix" ]]; then
    # Leftovers of an interrupted wineboot are thrown away; anything that is
    # not a Wine prefix is left alone.
    if [[ -d "$prefix/drive_c" || -z "$(ls -A "$prefix" 2>/dev/null)" ]]; then
        rm -rf "$prefix"
    else
        echo "$0: $prefix exists and is not a Wine prefix" >&2
        exit 1
    fi
fi

export WINEPREFIX="$prefix"
export WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG="${WINEDEBUG:--all}"
# wineboot needs no window; keeps it off any Xvfb that tests may be using.
unset DISPLAY

# 9>&-: the lock must not live on in the server and its processes.
"$WINE" wineboot -i >/dev/null 2>&1 9>&- || true
"$WINESERVER" -w 9>&-

if [[ ! -f "$prefix/system.reg" ]]; then
    echo "$0: wineboot did not create $prefix" >&2
    exit 1
fi
touch "$ready"

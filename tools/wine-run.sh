#!/usr/bin/env bash
# Runs a Windows program under 64-bit Wine and returns its exit code.
# Usage: tools/wine-run.sh <program.exe> [args...]
#
# Used as CMAKE_CROSSCOMPILING_EMULATOR by the x86_64 MinGW toolchain, so ctest
# and gtest_discover_tests run test programs through it. WINEPREFIX defaults to
# <repo>/build/wineprefix and is created on first use.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

export WINEPREFIX="${WINEPREFIX:-$root/build/wineprefix}"
export WINEARCH=win64
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

if [[ ! -f "$WINEPREFIX/.prefix-ready" ]]; then
    "$root/tools/wine-prefix.sh" "$WINEPREFIX"
fi

exec /usr/lib/wine/wine64 "$@"

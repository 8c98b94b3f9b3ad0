#!/usr/bin/env bash
# The demo in one command, on a fresh Debian 12 machine as well (run as root): sets up the machine
# (tools/bootstrap.sh), builds the launcher for win64 and win32, then runs the 64-bit launcher under
# Wine on a demo install folder with the stand-in kivo.exe, a ProductConfig.xml, a pending update
# and a desktop shortcut, and prints what happened (tools/demo.py). The demo's Wine prefix is
# build/demo/wineprefix; build output goes to build/logs/.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"
LOGS="$ROOT/build/logs"

say() { printf '[demo] %s\n' "$*"; }

bash tools/bootstrap.sh
mkdir -p "$LOGS"

# Only what the demo runs; the test programs are left to tools/test-all.sh.
build() {
    local preset="$1"
    shift
    say "building $preset ($*), log in build/logs/demo-$preset.log"
    if ! { cmake --preset "$preset" && cmake --build --preset "$preset" --target "$@"; } \
            >"$LOGS/demo-$preset.log" 2>&1; then
        tail -n 40 "$LOGS/demo-$preset.log"
        say "building $preset failed"
        exit 1
    fi
}
build win64 Fennowick kivo exact_run probe
build win32 Fennowick
say "built build/win32/Fennowick.exe (shipped) and build/win64/Fennowick.exe (run here under Wine)"
echo

exec python3 tools/demo.py --build-dir build/win64 --work-dir build/demo

#!/usr/bin/env bash
# The update benchmark, in one command: sets the machine up, builds what it needs, makes the
# archives (once, cached in build/bench-data) and measures. Prints the table and writes it to
# build/bench/results.md.
#
#   bench/run.sh [--runs N] [--only host|wine] [--archives ABC]
#
# Host: our extractor (ApplyUpdateArchive natively on Linux, through the Win32 model) against
# unzip and bsdtar. Wine: the whole launch path (Fennowick.exe with the archive staged as
# temp\update.zip) against write_floor.exe, which writes the same files from memory with the
# same calls. Runs at most two jobs at a time.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"

bash tools/bootstrap.sh

log() { printf '[bench] %s\n' "$*" >&2; }

log "building the host extractor (preset bench: Release, no sanitizers)"
cmake --preset bench >/dev/null
cmake --build --preset bench --target extract_bench >/dev/null

log "building Fennowick.exe, the stand-in kivo.exe and write_floor.exe (preset win64)"
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target Fennowick kivo write_floor >/dev/null

log "making the archives with Info-ZIP zip (cached in build/bench-data)"
python3 bench/make_archives.py build/bench-data

exec python3 bench/bench.py "$@"

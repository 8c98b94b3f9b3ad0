#!/usr/bin/env bash
# Builds the fuzz preset (clang, libFuzzer, ASan and UBSan, on the Win32 model) and runs each fuzz
# target for the given number of seconds (default 30), one after the other:
#
#   update_archive   arbitrary bytes as update.zip: ApplyUpdateArchive, the extractor, the reader
#   product_config   arbitrary bytes as ProductConfig.xml: ReadProductConfig
#   command_line     the command line through ParseCommandLine and a whole wWinMain
#
#   bash tools/fuzz.sh            # about 30 s each, as the test command runs it
#   bash tools/fuzz.sh 3600       # an hour each
#   FUZZ_TARGETS="command_line" bash tools/fuzz.sh 600
#
# Each target starts from its committed seeds (tests/fuzz/corpus/<target>) and what earlier runs
# found (build/fuzz/corpus/<target>, kept between runs). A crash, a hang (10 s for one input), a
# leak or a failed check stops that target: the input is saved as build/fuzz/artifacts/<target>-*
# and the script ends with an error after the remaining targets ran. Reproduce one with
#   build/fuzz/tests/fuzz/fw_fuzz_<target> <input file>
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
SECONDS_EACH="${1:-30}"
TARGETS=(${FUZZ_TARGETS:-update_archive product_config command_line})
BUILD="$ROOT/build/fuzz"
MAX_WORK_CORPUS=500

log() { printf '[fuzz] %s\n' "$*" >&2; }

[[ "$SECONDS_EACH" =~ ^[1-9][0-9]*$ ]] || { log "usage: tools/fuzz.sh [seconds per target]"; exit 2; }

cd "$ROOT"
cmake --preset fuzz >"$ROOT/build/fuzz-configure.log" 2>&1 ||
    { tail -n 30 "$ROOT/build/fuzz-configure.log" >&2; log "configure failed"; exit 1; }
cmake --build --preset fuzz --target "${TARGETS[@]/#/fw_fuzz_}" >"$BUILD/build.log" 2>&1 ||
    { tail -n 40 "$BUILD/build.log" >&2; log "build failed"; exit 1; }

# Archives up to 16 KiB hold a few hundred entries; command lines that long reach past the pipe
# message's 10240 bytes; configuration files stay at libFuzzer's default.
max_len_of() { [[ "$1" == product_config ]] && echo 4096 || echo 16384; }

failed=()
for target in "${TARGETS[@]}"; do
    program="$BUILD/tests/fuzz/fw_fuzz_$target"
    [[ -x "$program" ]] || { log "no fuzz target $target"; exit 2; }
    work="$BUILD/corpus/$target"
    mkdir -p "$work" "$BUILD/artifacts" "$BUILD/logs"
    logfile="$BUILD/logs/$target.log"
    log "$target: ${SECONDS_EACH} s"
    # The working corpus comes first: libFuzzer adds what it finds there, never to the seeds.
    if "$program" "$work" "$ROOT/tests/fuzz/corpus/$target" \
        -max_total_time="$SECONDS_EACH" \
        -timeout=10 \
        -rss_limit_mb=2048 \
        -max_len="$(max_len_of "$target")" \
        -dict="$ROOT/tests/fuzz/$target.dict" \
        -artifact_prefix="$BUILD/artifacts/$target-" \
        -print_final_stats=1 >"$logfile" 2>&1; then
        runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$logfile")"
        speed="$(sed -n 's/^stat::average_exec_per_sec: *//p' "$logfile")"
        coverage="$(grep -o 'cov: [0-9]*' "$logfile" | tail -n1)"
        log "$target: ok, $runs runs, $speed exec/s, $coverage, corpus $(ls "$work" | wc -l) files"
        # Every run replays the working corpus first; once it has grown large, it is cut down to
        # the inputs that still add coverage, so that a short run keeps time to fuzz.
        if [[ $(ls "$work" | wc -l) -gt $MAX_WORK_CORPUS ]]; then
            rm -rf "$work.merged" && mkdir -p "$work.merged"
            if "$program" -merge=1 -max_len="$(max_len_of "$target")" -timeout=10 "$work.merged" "$work" >"$BUILD/logs/$target-merge.log" 2>&1; then
                rm -rf "$work" && mv "$work.merged" "$work"
                log "$target: working corpus cut down to $(ls "$work" | wc -l) files"
            fi
        fi
    else
        grep -E 'ERROR|SUMMARY|fuzz check failed|Test unit written' "$logfile" >&2 || tail -n 30 "$logfile" >&2
        log "$target: FAILED (log: $logfile)"
        failed+=("$target")
    fi
done

if [[ ${#failed[@]} -gt 0 ]]; then
    log "failed: ${failed[*]}"
    exit 1
fi
log "all targets ran ${SECONDS_EACH} s without a finding"

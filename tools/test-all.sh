#!/usr/bin/env bash
# Every test in one command, on a fresh Debian 12 machine as well (run as root): sets up the machine
# (tools/bootstrap.sh), builds the host, win64 and win32 presets and runs their tests:
#   host   unit tests on the project's Win32 model, built with ASan and UBSan, LeakSanitizer on;
#   win64  the portable unit tests on the real API under Wine, and the end-to-end scenarios
#          (under xvfb-run, so that message boxes have a display);
#   win32  the check of the shipped Fennowick.exe (format, manifest, icon, version, imports);
#   fuzz   each libFuzzer target for FUZZ_SECONDS (30 by default; tools/fuzz.sh builds its preset).
# Each CTest run ends with its own summary; the last lines add them up. The exit code is non-zero
# when the set-up, a build or a test failed. Build output goes to build/logs/.
set -uo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"
LOGS="$ROOT/build/logs"
JOBS=2

say() { printf '\n[test-all] %s\n' "$*"; }
elapsed() { local s=$(( SECONDS - $1 )); printf '%dm%02ds' $(( s / 60 )) $(( s % 60 )); }

start=$SECONDS
say "set-up: tools/bootstrap.sh"
if ! bash tools/bootstrap.sh; then
    say "set-up failed"
    exit 1
fi
mkdir -p "$LOGS"
timings=("bootstrap $(elapsed "$start")")

declare -A built
for preset in host win64 win32; do
    t=$SECONDS
    say "building $preset, log in build/logs/$preset-build.log"
    if { cmake --preset "$preset" && cmake --build --preset "$preset"; } >"$LOGS/$preset-build.log" 2>&1; then
        built[$preset]=1
    else
        tail -n 60 "$LOGS/$preset-build.log"
        say "building $preset FAILED"
    fi
    timings+=("build $preset $(elapsed "$t")")
done

# With xauth missing xvfb-run cannot start; the end-to-end harness then starts its own Xvfb.
with_display=()
if [[ -z "${DISPLAY:-}" ]] && command -v xvfb-run >/dev/null && command -v xauth >/dev/null; then
    with_display=(xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp")
fi

summaries=()
passed_total=0
failed_total=0
status=0
run_tests() {
    local preset="$1"
    shift
    local t=$SECONDS log="$LOGS/$preset-ctest.log"
    if [[ -z "${built[$preset]:-}" ]]; then
        summaries+=("$preset: not built")
        status=1
        return
    fi
    say "testing $preset"
    # Under Wine and Xvfb a scenario may lose a key press or a window now and then: one more try
    # there, never on the host.
    local repeat=()
    [[ "$preset" == win64 ]] && repeat=(--repeat until-pass:2)
    "$@" ctest --preset "$preset" -j "$JOBS" "${repeat[@]}" 2>&1 | tee "$log"
    local result=${PIPESTATUS[0]}
    local line
    line="$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)"
    if [[ -n "$line" ]]; then
        local failed total
        failed="$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")"
        total="$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")"
        passed_total=$(( passed_total + total - failed ))
        failed_total=$(( failed_total + failed ))
        summaries+=("$preset: $(( total - failed )) passed, $failed failed")
    else
        summaries+=("$preset: no test summary (ctest exit code $result)")
    fi
    [[ $result -eq 0 ]] || status=1
    timings+=("tests $preset $(elapsed "$t")")
}

run_tests host
run_tests win64 "${with_display[@]}"
run_tests win32

# Each fuzz target counts as one test: passed when it ran its time without a finding.
t=$SECONDS
say "fuzzing each target for ${FUZZ_SECONDS:-30} s, logs in build/fuzz/logs/"
bash tools/fuzz.sh "${FUZZ_SECONDS:-30}" 2>&1 | tee "$LOGS/fuzz.log"
[[ ${PIPESTATUS[0]} -eq 0 ]] || status=1
fuzz_passed="$(grep -c '^\[fuzz\] [a-z_]*: ok' "$LOGS/fuzz.log")"
fuzz_failed="$(grep -c '^\[fuzz\] [a-z_]*: FAILED' "$LOGS/fuzz.log")"
passed_total=$(( passed_total + fuzz_passed ))
failed_total=$(( failed_total + fuzz_failed ))
summaries+=("fuzz: $fuzz_passed passed, $fuzz_failed failed")
timings+=("fuzz $(elapsed "$t")")

say "times: $(IFS=';'; echo "${timings[*]}" | sed 's/;/, /g')"
say "$(IFS=';'; echo "${summaries[*]}" | sed 's/;/; /g')"
if [[ $status -ne 0 && $failed_total -eq 0 ]]; then
    say "FAILED (a build or a test run did not complete), $passed_total passed, total time $(elapsed "$start")"
else
    say "$passed_total passed, $failed_total failed, total time $(elapsed "$start")"
fi
exit $status

#!/usr/bin/env bash
# Status poll period over POLLS polls (100 by default, about 2 minutes): the
# intervals between the status frames the simulated changer (paced as a
# 9600-baud line) receives, beside 1200 ms plus the status exchange's time on
# the line. Natively PollStatusThread polls; under Wine zubcd.exe does, and
# the simulator's frame log is read. Both run at the same time.
#
# bench/poll_period.sh [POLLS]
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/lib.sh

polls=${1:-100}
zub_bench_build "poll-period-bench changer-sim" "zubcd"

# A prefix of its own, so a test run cannot stop this one's wineserver.
ZUB_WINEPREFIX=${ZUB_WINEPREFIX:-$ZUB_BUILD/wineprefix-bench}
ZUB_RUN_DIR=$ZUB_BUILD/bench-run/poll-period
source tools/wine/harness.sh
bench=$ZUB_BUILD/native/poll-period-bench
native_out=$ZUB_RUN_DIR/native.out
native_pid=""

finish() {
    local status=$?
    trap - EXIT INT TERM
    [ -z "$native_pid" ] || stop_process "$native_pid"
    harness_teardown
    exit "$status"
}
trap finish EXIT
trap 'exit 130' INT TERM

mkdir -p "$ZUB_RUN_DIR/work"
"$bench" --polls "$polls" --header >"$native_out" 2>&1 &
native_pid=$!

wine_prefix_init >&2
ZUB_PRIVATE_DISPLAY=1 use_display >&2
start_sim --baud 9600 >&2
start_exe "$ZUB_RUN_DIR/work" >&2
status_polls() { (($(awk '$2 == "16"' "$ZUB_SIM_LOG" | wc -l) > polls)); }
wait_until $((polls * 2 + 90)) "$((polls + 1)) status polls of zubcd.exe" status_polls >&2 ||
    exit 1

native_status=0
wait "$native_pid" || native_status=$?
native_pid=""
cat "$native_out"
((native_status == 0)) || exit "$native_status"
"$bench" --log "$ZUB_SIM_LOG" --polls "$polls" --label "Wine, zubcd.exe"

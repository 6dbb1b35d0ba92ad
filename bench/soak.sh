#!/usr/bin/env bash
# Soak run: zubcd.exe under Wine plays the shuffled playlist of a scanned
# magazine for hours against the simulated changer (play clock x60: a day of
# music in 24 minutes), with zubweb and two event-stream clients, `zubremote
# status` every few seconds and remote clients that come, idle, send random
# bytes and go, while one changer fault at a time is injected at random:
# silent, garbage, over-long replies, late replies, loader errors, unplugged
# and back on the same link or on a new one, a disc removed, a disc inserted.
# Records a CSV every few seconds and one row per fault, checks what must
# hold (bench/soak_run.py), draws the plot and, with --report, puts the
# figures in the reliability report. Exits non-zero naming the check that
# failed and when.
#
# bench/soak.sh [--duration SPAN] [--fault-every SPAN] [--seed N] [--slack S]
#               [--memory-slack-kb K] [--remote-port P] [--out DIR]
#               [--report FILE [--note TEXT]]
#   SPAN: a number with s, m or h (defaults 24h and 5m). Output in
#   build/soak-run/ unless --out is given. With a remote port other than the
#   default 4239 the run shares nothing with the end-to-end tests (its own
#   Wine prefix, X display and ports) and runs beside them without their lock.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/lib.sh

usage() {
    echo "usage: bench/soak.sh [--duration SPAN] [--fault-every SPAN] [--seed N] [--slack S]" \
        "[--memory-slack-kb K] [--remote-port P] [--out DIR] [--report FILE [--note TEXT]]" \
        "  (SPAN: e.g. 90s, 5m, 24h)" >&2
    exit 2
}

duration=24h
fault_every=5m
out=$ZUB_BUILD/soak-run
remote_port=4239
report=""
note=""
extra=()
while (($# > 0)); do
    (($# >= 2)) || usage
    case $1 in
        --duration) duration=$2 ;;
        --fault-every) fault_every=$2 ;;
        --out) out=$2 ;;
        --report) report=$2 ;;
        --note) note=$2 ;;
        --remote-port) remote_port=$2 ;;
        --seed | --slack | --memory-slack-kb) extra+=("$1" "$2") ;;
        *) usage ;;
    esac
    shift 2
done
for span in "$duration" "$fault_every"; do
    if [[ ! $span =~ ^[0-9]+[smh]$ ]] || [[ $span =~ ^0+[smh]$ ]]; then
        echo "soak: '$span' is not a time span (a number with s, m or h, e.g. 90s, 5m, 24h)" >&2
        exit 2
    fi
done

if [[ ! $remote_port =~ ^[1-9][0-9]{0,4}$ ]] || ((remote_port > 65535)); then
    echo "soak: '$remote_port' is not a TCP port (1..65535)" >&2
    exit 2
fi

# The default TCP port 4239 is the end-to-end tests' too: one such run at a time.
if [ "$remote_port" = 4239 ] && [ "${ZUB_SOAK_LOCKED:-0}" != 1 ]; then
    exec env ZUB_SOAK_LOCKED=1 flock "$ZUB_WINE_LOCK" "$0" --duration "$duration" \
        --fault-every "$fault_every" --out "$out" ${report:+--report "$report"} \
        ${note:+--note "$note"} "${extra[@]}"
fi

zub_bench_build "changer-sim zubremote zubweb" "zubcd zubprobe"
ZUB_WINEPREFIX=${ZUB_WINEPREFIX:-$ZUB_BUILD/wineprefix-soak-$remote_port}
source tools/wine/harness.sh
ZUB_RUN_DIR=$(mkdir -p "$out" && cd "$out" && pwd)
rm -rf "${ZUB_RUN_DIR:?}"/*
mkdir -p "$ZUB_RUN_DIR/work"
cp demo/zub.txt "$ZUB_RUN_DIR/work/"
MAGAZINE=$ZUB_ROOT/demo/magazine.txt
CONTROL=$ZUB_RUN_DIR/control.fifo
WEB_PID=""

soak_teardown() {
    local pid
    stop_process "$WEB_PID"
    if [ -s "$ZUB_RUN_DIR/sim.pid" ]; then
        pid=$(cat "$ZUB_RUN_DIR/sim.pid")
        stop_process "$pid"
    fi
    harness_teardown
}
trap soak_teardown EXIT
trap 'exit 130' INT TERM

if port_listening "$remote_port"; then
    zub_warn "TCP port $remote_port is taken (is the program running already?)"
    exit 1
fi
wine_prefix_init >&2 && probe_build >&2 || exit 1
ZUB_PRIVATE_DISPLAY=1
use_display >&2 || exit 1
start_sim --magazine "$MAGAZINE" --speed 60 --control "$CONTROL" >&2 || exit 1
exe_options=()
[ "$remote_port" = 4239 ] || exe_options=(--remote-port "$remote_port")
start_exe "$ZUB_RUN_DIR/work" "$ZUB_WIN_EXE" "${exe_options[@]}" >&2 || exit 1
wait_for_window "$MAIN_TITLE" 120 >&2 && wait_for_port "$remote_port" 60 >&2 || exit 1

scan_done() { button_enabled "$MAIN_TITLE" "$IDC_RANDOM"; }
click_button "$MAIN_TITLE" "$IDC_SCAN" >&2 || exit 1
wait_until 300 "the scan to end" scan_done >&2 || exit 1
mark=$(log_mark)
click_button "$MAIN_TITLE" "$IDC_RANDOM" >&2 || exit 1
wait_for_run "$mark" 30 "10 PLAY" >&2 || {
    zub_warn "Random played nothing"
    exit 1
}

"$ZUB_BUILD/native/zubweb" --remote "127.0.0.1:$remote_port" --listen 127.0.0.1:0 </dev/null >"$ZUB_RUN_DIR/zubweb.log" 2>&1 &
WEB_PID=$!
web_serving() { grep -q '^zubweb: serving http://' "$ZUB_RUN_DIR/zubweb.log"; }
wait_until 20 "zubweb to listen" web_serving >&2 || exit 1
web_port=$(sed -n 's|^zubweb: serving http://[^ ]*:\([0-9]*\)/ .*|\1|p' "$ZUB_RUN_DIR/zubweb.log" |
    head -n 1)
harness_log "playing; zubweb on port $web_port; soak for $duration, a fault every $fault_every"

status=0
python3 bench/soak_run.py --duration "$duration" --fault-every "$fault_every" "${extra[@]}" \
    --run-dir "$ZUB_RUN_DIR" --sim "$ZUB_SIM" --sim-log "$ZUB_SIM_LOG" --sim-pid "$ZUB_SIM_PID" \
    --magazine "$MAGAZINE" --control "$CONTROL" --com1-link "$ZUB_COM1_LINK" \
    --remote "$ZUB_BUILD/native/zubremote" --probe "$ZUB_PROBE_EXE" --title "$MAIN_TITLE" \
    --exe-pid "$ZUB_EXE_PID" --web-pid "$WEB_PID" --web-port "$web_port" \
    --remote-port "$remote_port" || status=$?

if command -v gnuplot >/dev/null && [ -s "$ZUB_RUN_DIR/soak.csv" ]; then
    bench/soak_plot.sh "$ZUB_RUN_DIR" >&2 || zub_warn "no plot"
fi
if [ -n "$report" ]; then
    bench/soak_report.sh "$ZUB_RUN_DIR" "$report" \
        "bench/soak.sh --duration $duration --fault-every $fault_every" "$note" >&2
fi
exit "$status"

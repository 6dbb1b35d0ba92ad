#!/usr/bin/env bash
# A misbehaving changer under Wine: silent, garbage, an over-long reply
# without ETX and a reply later than the 10 s read time-out. During a fault
# every exchange ends, the status panel repaints to show no status and a
# remote position request still answers; once the changer is known silent,
# buttons and polls wait 1 s for a reply, not 10 s. Once the fault ends the
# panel shows the changer's status again and the polls come every 1.2 s from
# the next period on. Each fault lasts one or two exchanges (silent: longer).
set -euo pipefail
source "$(dirname "$0")/e2e_lib.sh"

WINDOW_RECT=""

# Digest of the main window's pixels as shown now.
window_digest() {
    local l t r b
    read -r l t r b <<<"$WINDOW_RECT"
    import -display "$DISPLAY" -window root -crop "$((r - l))x$((b - t))+$l+$t" -depth 8 rgb:- \
        2>/dev/null | md5sum | cut -d ' ' -f 1
}

# The window's digest once two captures 0.3 s apart agree (no paint between).
steady_digest() {
    local last now tries
    last=$(window_digest)
    for ((tries = 0; tries < 30; tries++)); do
        sleep 0.3
        now=$(window_digest)
        if [ "$now" = "$last" ]; then
            printf '%s\n' "$now"
            return 0
        fi
        last=$now
    done
    return 1
}

shows() { [ "$(steady_digest)" = "$1" ]; }
shows_other_than() {
    local now
    now=$(steady_digest) && [ "$now" != "$1" ]
}

control() { sim_control "$CONTROL" "$*" || e2e_fail "the simulator took no '$*'"; }

# Times of the status frames after log line MARK, one a line.
status_times() { tail -n +"$(($1 + 1))" "$ZUB_SIM_LOG" | awk '$2 == "16" { print $1 }'; }

status_frames_since() { (($(status_times "$1" | wc -l) >= $2)); }

# wait_status_frames MARK COUNT SECONDS
wait_status_frames() {
    wait_until "$3" "$2 status frames" status_frames_since "$1" "$2"
}

# After the fault ended at MARK: the first status frame is answered (it may
# follow a last faulty exchange), the two intervals after it are a period.
check_period_after() {
    local mark=$1 what=$2
    wait_status_frames "$mark" 4 40 || e2e_fail "the poll did not come back after $what"
    local intervals
    intervals=$(status_times "$mark" | awk 'NR > 1 { printf "%.3f ", $1 - prev } { prev = $1 }')
    e2e_log "status intervals after $what: $intervals"
    check "after $what the polls come every 1.2 s from the next period on ($intervals)" \
        awk -v list="$intervals" 'BEGIN { n = split(list, d, " ")
            for (i = 2; i <= n; i++) if (d[i] < 1.15 || d[i] > 2.5) exit 1 }'
}

# No message box of the program is up ("Error", "Error with bind()", ...).
no_error_box() { [ -z "$(xdotool search --onlyvisible --name '^Error' 2>/dev/null)" ]; }

# Stop and Pause sent as button commands to a changer known silent: each is
# handled (the window answers a message after it) within a few seconds, not
# after a 10 s time-out.
buttons_answer_fast() {
    local id start took
    for id in 1007 1006; do
        start=$(date +%s.%N)
        probe command "$MAIN_TITLE" "$id" >/dev/null || e2e_fail "could not send button $id"
        probe answers "$MAIN_TITLE" >/dev/null || e2e_fail "the window hangs after button $id"
        took=$(awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { printf "%.2f", e - s }')
        check "button $id on a silent changer is handled in $took s" \
            awk -v t="$took" 'BEGIN { exit !(t < 4) }'
    done
}

# The intervals between the status frames after MARK, skipping the first
# SKIP, are each below LIMIT seconds.
intervals_below() {
    local intervals
    intervals=$(status_times "$1" | awk -v skip="$2" 'NR > skip + 1 { printf "%.3f ", $1 - prev } { prev = $1 }')
    e2e_log "status intervals: $intervals"
    awk -v list="$intervals" -v limit="$3" 'BEGIN { n = split(list, d, " ")
        if (n < 2) exit 1
        for (i = 1; i <= n; i++) if (d[i] > limit) exit 1 }'
}

position_stays() {
    local now
    now=$(remote position) || e2e_fail "no answer to a remote position request $1"
    check "a remote position request answers $1 ($now)" test "$now" = "$POSITION"
}

e2e_begin changer_faults 300
[ -x "$ZUB_REMOTE" ] || e2e_fail "no remote client at $ZUB_REMOTE"
CONTROL=$ZUB_RUN_DIR/control.fifo
wait_until 60 "TCP port 4239 to be free" port_free 4239 || e2e_fail "TCP port 4239 is taken"
e2e_start_sim --control "$CONTROL"
start_exe "$(e2e_workdir)" || e2e_fail "the program did not start"
wait_for_window "$MAIN_TITLE" 60 || e2e_fail "no window '$MAIN_TITLE'"
wait_status_frames 0 3 30 || e2e_fail "the status poll does not run"
read -r _ l t r b _ < <(probe find "$MAIN_TITLE") || e2e_fail "the window has no position"
WINDOW_RECT="$l $t $r $b"
NORMAL=$(steady_digest) || e2e_fail "the window never stands still"
POSITION=$(remote position) || e2e_fail "no answer to a remote position request"
e2e_log "the window shows the changer's status; position '$POSITION'"
screenshot normal

# Silent for one exchange (perhaps two): it ends after one 10 s time-out and
# the panel shows no status; the window and the remote server go on answering.
mark=$(log_mark)
control fault silent
wait_status_frames "$mark" 1 10 || e2e_fail "no status frame reached the silent changer"
position_stays "while the changer is silent"
wait_until 25 "the panel to show no status" shows_other_than "$NORMAL" ||
    e2e_fail "the status panel did not repaint while the changer was silent"
e2e_log "ok: the status panel repainted while the changer was silent"
screenshot silent
# Known silent now: a command waits 1 s for its reply, and the poll keeps
# its rhythm (1.2 s plus that second).
buttons_answer_fast
wait_status_frames "$mark" 6 40 || e2e_fail "the poll stalled on the silent changer"
check "the polls of a silent changer come every 2.2 s or so" intervals_below "$mark" 2 4
mark=$(log_mark)
control fault none
wait_until 30 "the panel to show the status again" shows "$NORMAL" ||
    e2e_fail "the status panel did not come back after the silent changer"
check_period_after "$mark" "the silent changer"
position_stays "after the silent changer"

# bad_reply_once WHAT FAULT...: the changer answers one status exchange
# with the fault; afterwards the poll keeps its period, the panel shows the
# status again and the remote position still answers.
bad_reply_once() {
    local what=$1 mark
    shift
    mark=$(log_mark)
    control fault "$@"
    wait_status_frames "$mark" 1 10 || e2e_fail "no status frame reached the changer ($what)"
    control fault none
    mark=$(log_mark)
    check_period_after "$mark" "$what"
    wait_until 15 "the panel to show the status again" shows "$NORMAL" ||
        e2e_fail "the status panel did not come back after $what"
    position_stays "after $what"
}

bad_reply_once "a garbage reply" garbage
# Without ETX and over 49 bytes: its tail must not open the next reply.
bad_reply_once "an over-long reply" overlong
# 11.25 s late: past the time-out and the 1.2 s pause, when the next exchange
# is about to start; it is dropped, not read as the next reply.
bad_reply_once "a late reply" late 11250

check "no box came up" no_error_box
check "the program is still running" exe_running
e2e_exit
e2e_pass

#!/usr/bin/env bash
# The changer's pty goes away under Wine. A changer back on a new pty behind
# COM1 is picked up by the program's next write, without a box. With no
# changer there at that write the box "Write to g_hCom Failed" comes up once;
# once it is closed the poll goes on with the changer that has come back.
set -euo pipefail
source "$(dirname "$0")/e2e_lib.sh"

SIM_OPTIONS=()
if [ -f "$ZUB_MAGAZINE" ]; then
    SIM_OPTIONS=(--magazine "$ZUB_MAGAZINE")
fi

# Times of the status frames in the current simulator's log.
status_times() { awk '$2 == "16" { print $1 }' "$ZUB_SIM_LOG"; }
status_frames() { (($(status_times | wc -l) >= $1)); }

# The intervals between the status frames of the current log, from the
# second one on, are a poll period.
check_period() {
    local intervals
    intervals=$(status_times | awk 'NR > 1 { printf "%.3f ", $1 - prev } { prev = $1 }')
    check "the polls of $1 come every 1.2 s ($intervals)" \
        awk -v list="$intervals" 'BEGIN { n = split(list, d, " ")
            for (i = 2; i <= n; i++) if (d[i] < 1.15 || d[i] > 2.5) exit 1 }'
}

no_error_box() { [ -z "$(xdotool search --onlyvisible --name '^Error' 2>/dev/null)" ]; }

e2e_begin changer_faults_restart 180
[ -x "$ZUB_REMOTE" ] || e2e_fail "no remote client at $ZUB_REMOTE"
wait_until 60 "TCP port 4239 to be free" port_free 4239 || e2e_fail "TCP port 4239 is taken"
e2e_start_sim
start_exe "$(e2e_workdir)" || e2e_fail "the program did not start"
wait_for_window "$MAIN_TITLE" 60 || e2e_fail "no window '$MAIN_TITLE'"
wait_until 30 "the status poll" status_frames 3 || e2e_fail "the status poll does not run"

# A new changer on a new pty; the old one's pty closes after COM1 points at
# the new one. A read under way when it closes may wait out its time-out.
old_pty=$ZUB_SIM_PTY
restart_sim "${SIM_OPTIONS[@]}" || e2e_fail "the simulator did not restart"
check "the new changer has another pty ($old_pty, now $ZUB_SIM_PTY)" test "$ZUB_SIM_PTY" != "$old_pty"
wait_until 25 "status polls of the new changer" status_frames 4 ||
    e2e_fail "the program did not reopen COM1 for the new changer"
check_period "the new changer"
check "no box came up" no_error_box

# No changer at all when the poll writes: the box, once, on the poll thread.
com1_absent
stop_process "$ZUB_SIM_PID"
wait_for_window "Error" 15 || e2e_fail "no box after a write with no changer"
probe children "Error" >"$ZUB_RUN_DIR/box.txt" || true
check "the box says 'Write to g_hCom Failed'" grep -q 'Write to g_hCom Failed' "$ZUB_RUN_DIR/box.txt"
screenshot box
now=$(remote position) || e2e_fail "no answer to a remote position request while the box is up"
e2e_log "ok: a remote position request answers while the box is up ($now)"
restart_sim "${SIM_OPTIONS[@]}" || e2e_fail "the simulator did not start again"
probe close "Error" >/dev/null || e2e_fail "could not close the box"
wait_for_window_gone "Error" 10 || e2e_fail "the box did not go"
wait_until 15 "status polls of the changer back" status_frames 3 ||
    e2e_fail "the poll did not go on with the changer back"
check_period "the changer back"
check "no second box came up" no_error_box

check "the program is still running" exe_running
e2e_exit
e2e_pass

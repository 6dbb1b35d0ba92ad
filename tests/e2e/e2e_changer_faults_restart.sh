#!/usr/bin/env bash
# The changer's pty goes away under Wine. A changer back on a new pty behind
# COM1 is picked up by the program's next write, without a box. With no
# changer there at that write, while idle or during a button's exchange, the
# box "Write to g_hCom Failed" comes up once per outage on the window, which
# keeps answering; the poll goes on by itself with the changer back. Exit
# during a silent exchange with a remote client connected ends with code 0.
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

box_count() { window_ids "Error" | wc -l; }
window_answers() { probe answers "$MAIN_TITLE" >/dev/null; }

# Waits N poll periods (the poll has no frame to wait on while the changer
# is away).
sleep_polls() { sleep "$(awk -v n="$1" 'BEGIN { print n * 1.2 + 0.5 }')"; }

# Play, Stop and Pause sent as button commands: each is handled within a
# couple of seconds and the window still answers.
press_buttons_quickly() {
    local id start
    for id in 1005 1007 1006; do
        start=$(date +%s.%N)
        probe command "$MAIN_TITLE" "$id" >/dev/null || e2e_fail "could not send button $id"
        window_answers || e2e_fail "the window did not answer after button $id $1"
        e2e_log "button $id $1 handled in $(awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { printf "%.2f", e - s }') s"
    done
}

# check_one_box OUTAGE WHEN: three polls into OUTAGE one box is up; once it
# is closed, buttons pressed WHEN and three more polls bring no other.
check_one_box() {
    sleep_polls 3
    check "one box for $1 ($(box_count))" test "$(box_count)" = 1
    probe close "Error" >/dev/null || e2e_fail "could not close the box"
    wait_for_window_gone "Error" 10 || e2e_fail "the box did not go"
    press_buttons_quickly "$2"
    sleep_polls 3
    check "no second box in $1" no_error_box
}

# The changer back on the same link path: the polls resume without a click.
changer_back() {
    restart_sim "${SIM_OPTIONS[@]}" || e2e_fail "the simulator did not start again"
    wait_until 15 "status polls of the changer back" status_frames 3 ||
        e2e_fail "the poll did not go on with the changer back"
}

# Exit while the changer is silent and a remote client holds a session.
sim_silent_remote_exit() {
    restart_sim "${SIM_OPTIONS[@]}" --control "$ZUB_RUN_DIR/control.fifo" ||
        e2e_fail "the simulator did not restart"
    wait_until 15 "status polls" status_frames 2 || e2e_fail "no polls before Exit"
    sim_control "$ZUB_RUN_DIR/control.fifo" "fault silent" || e2e_fail "no silent fault"
    exec 3<>/dev/tcp/127.0.0.1/4239 || e2e_fail "no remote session"
    wait_until 15 "a status frame to the silent changer" status_frames 3 || e2e_fail "no poll"
    click_button "$MAIN_TITLE" 2 || e2e_fail "could not click Exit"
    wait_for_exit 20 || e2e_fail "the program did not end after Exit"
    exec 3<&-
    check "the exit code is 0 (got $ZUB_EXE_RC)" test "$ZUB_EXE_RC" = 0
    check "no fault at exit" bash -c "! grep -qiE 'unhandled exception|page fault' '$ZUB_RUN_DIR/exe.log'"
}

e2e_begin changer_faults_restart 300
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

# The changer unplugged while idle: the poll's failed write brings the box
# "Write to g_hCom Failed" once, owned by the main window, whose thread keeps
# answering messages. Further failed writes of the same outage (polls and
# buttons) bring no other box. The program never waits on the box to poll.
com1_absent
stop_process "$ZUB_SIM_PID"
wait_for_window "Error" 15 || e2e_fail "no box after a write with no changer"
probe children "Error" >"$ZUB_RUN_DIR/box.txt" || true
check "the box says 'Write to g_hCom Failed'" grep -q 'Write to g_hCom Failed' "$ZUB_RUN_DIR/box.txt"
screenshot box
check "the window answers messages while the box is up" window_answers
now=$(remote position) || e2e_fail "no answer to a remote position request while the box is up"
e2e_log "ok: a remote position request answers while the box is up ($now)"
check_one_box "the outage while idle" "with the changer unplugged"

changer_back
check_period "the changer back"
check "no box came up when the changer came back" no_error_box

# Unplugged during a button press: Load waits on a slow loader while the
# changer goes away. When the button's work ends, one box for the new outage.
restart_sim "${SIM_OPTIONS[@]}" --load-delay 4000 || e2e_fail "the simulator did not restart"
wait_until 15 "status polls of the slow changer" status_frames 2 || e2e_fail "no polls"
click_button "$MAIN_TITLE" 1000 || e2e_fail "could not click Load"
wait_for_log '^[0-9.]+ 01 LOAD' 15 || e2e_fail "the Load command did not reach the changer"
com1_absent
stop_process "$ZUB_SIM_PID"
wait_for_window "Error" 40 || e2e_fail "no box after the changer went during Load"
check "the window answers messages while the box is up" window_answers
check_one_box "the outage that began during Load" "after the changer went during Load"
changer_back
check "no second box came up" no_error_box

# Exit with the poll on a silent changer and a remote client connected:
# nothing the worker threads use is torn down under them; exit code 0.
sim_silent_remote_exit

e2e_pass

#!/usr/bin/env bash
# Two copies of the program side by side under Wine: changer #0 on COM1 with
# the remote on TCP port 4239, changer #1 on COM3 with the remote on 4240,
# each against a simulator of its own. Each polls its own changer; a remote
# request on 4240 reaches only the second changer; a third copy on COM3
# shows "Port COM3 in use." and ends with exit code 0.
set -euo pipefail
source "$(dirname "$0")/e2e_lib.sh"

FIRST_TITLE="ZUB CD Changer #0 on COM1"
SECOND_TITLE="ZUB CD Changer #1 on COM3"

# launch NAME WORKDIR ARG...: one more copy of the program, its output in
# $ZUB_RUN_DIR/NAME.log; the teardown's end of Wine's server ends it.
launch() {
    local name=$1 workdir=$2
    shift 2
    (cd "$workdir" && exec wine "$(realpath "$ZUB_WIN_EXE")" "$@") \
        </dev/null >"$ZUB_RUN_DIR/$name.log" 2>&1 &
    harness_log "copy $name started with $*"
}

# polls_in LOG N: the simulator log holds at least N status polls.
polls_in() { (($(grep -c '^[0-9.]* 16 ' "$1") >= $2)); }

# loads_since LOG MARK: the LOAD lines after line MARK of a simulator log.
loads_since() { tail -n +"$(($2 + 1))" "$1" | awk '$2 == "01"'; }

has_load_since() { [ -n "$(loads_since "$1" "$2")" ]; }

second_scan_done() {
    button_enabled "$SECOND_TITLE" "$IDC_RANDOM" && button_enabled "$SECOND_TITLE" "$IDC_NEXT"
}

e2e_begin two_changers 360
[ -x "$ZUB_REMOTE" ] || e2e_fail "no remote client at $ZUB_REMOTE"
e2e_start_sim
start_extra_sim second COM3 --magazine "$ZUB_MAGAZINE" || e2e_fail "no second simulator"
SECOND_LOG=$ZUB_RUN_DIR/second.log
first_work=$(e2e_workdir)
second_work=$ZUB_RUN_DIR/work-second
mkdir -p "$second_work"
cp "$first_work/zub.txt" "$second_work/" 2>/dev/null || true

launch first "$first_work" --port COM1
launch second "$second_work" --port COM3 --changer 1 --remote-port 4240
wait_for_window "$FIRST_TITLE" 90 || e2e_fail "no window '$FIRST_TITLE'"
wait_for_window "$SECOND_TITLE" 90 || e2e_fail "no window '$SECOND_TITLE'"
e2e_log "ok: both windows are shown"
wait_for_port 4239 60 || e2e_fail "nothing answers on TCP port 4239"
wait_for_port 4240 60 || e2e_fail "nothing answers on TCP port 4240"
e2e_log "ok: TCP ports 4239 and 4240 answer"
wait_until 30 "status polls on COM1" polls_in "$ZUB_SIM_LOG" 3 || e2e_fail "no poll on COM1"
wait_until 30 "status polls on COM3" polls_in "$SECOND_LOG" 3 || e2e_fail "no poll on COM3"
e2e_log "ok: each copy polls its own changer"
screenshot two-copies

# A third copy on the second's port.
start_exe "$(e2e_workdir)" "" --port COM3 --remote-port 4241 ||
    e2e_fail "the third copy did not start"
wait_for_window Error 60 || e2e_fail "no box titled 'Error' for the third copy"
box=$(probe children Error) || e2e_fail "the probe cannot read the box"
printf '%s\n' "$box" >"$ZUB_RUN_DIR/third-box.txt"
check "the box says 'Port COM3 in use.'" \
    awk -F '\t' '$3 == "Port COM3 in use." { found = 1 } END { exit !found }' <<<"$box"
check "nothing listens on TCP port 4241" port_free 4241
click_button Error 1 || e2e_fail "could not click OK"
wait_for_exit 30 || e2e_fail "the third copy did not end after OK"
check "the third copy's exit code is 0 (got $ZUB_EXE_RC)" test "$ZUB_EXE_RC" = 0

# A remote request on 4240 plays on the second changer only.
# The windows lie on top of each other: the button is pressed by its command.
probe command "$SECOND_TITLE" "$IDC_SCAN" >/dev/null || e2e_fail "could not press Scan"
wait_until 180 "the second copy's scan to end" second_scan_done || e2e_fail "the scan did not end"
first_mark=$(log_mark)
second_mark=$(wc -l <"$SECOND_LOG")
remote --port 4240 track 7 3 || e2e_fail "the remote could not send 'track 7 3' to 4240"
wait_until 20 "a LOAD on the second changer" has_load_since "$SECOND_LOG" "$second_mark" ||
    e2e_fail "the second changer got no LOAD"
check "the second changer loads disc 7" grep -q ' 01 LOAD A07$' \
    <<<"$(loads_since "$SECOND_LOG" "$second_mark")"
first_polls=$(grep -c '^[0-9.]* 16 ' "$ZUB_SIM_LOG")
wait_until 20 "two more polls on COM1" polls_in "$ZUB_SIM_LOG" $((first_polls + 2)) ||
    e2e_fail "the first copy stopped polling"
check "the first changer got no LOAD" test -z "$(loads_since "$ZUB_SIM_LOG" "$first_mark")"
check "the first changer got only polls" test -z \
    "$(tail -n +"$((first_mark + 1))" "$ZUB_SIM_LOG" | awk '$2 != "16" && $2 != "07"')"
screenshot remote-on-second
e2e_pass

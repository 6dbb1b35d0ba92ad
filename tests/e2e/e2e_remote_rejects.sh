#!/usr/bin/env bash
# Requests that must start nothing, and a disc loaded by hand, under Wine:
# 'info' before any status reply names no artist; '1' for an empty slot and
# '1' and '2' with numbers outside 1..100 and 1..99 (whose low 16 bits name
# a real disc or track) send nothing and leave the mode, so the poll plays
# nothing either; after Unload, Load puts the disc at a stop and Play (the
# button or the remote's) plays it from track 1.
set -euo pipefail
source "$(dirname "$0")/e2e_lib.sh"

control() { sim_control "$CONTROL" "$*" || e2e_fail "the simulator took no '$*'"; }

# The commands after log line MARK other than status requests, one a line.
commands_since() { log_since "$1" | grep -v '^16 STATUS' || true; }

# commands_are MARK LINE...: after MARK exactly these commands were sent.
commands_are() {
    local mark=$1
    shift
    [ "$(commands_since "$mark")" = "$(printf '%s\n' "$@")" ]
}

# wait_for_commands MARK SECONDS LINE...
wait_for_commands() {
    local mark=$1 limit=$2
    shift 2
    wait_until "$limit" "exactly the commands '$*'" commands_are "$mark" "$@"
}

status_frames_since() { (($(log_since "$1" | grep -c '^16 STATUS') >= $2)); }

wait_status_frames() {
    wait_until "$3" "$2 status frames" status_frames_since "$1" "$2" ||
        e2e_fail "the status poll stopped"
}

# send_request COMMAND_CHAR DISC TRACK: one 12-byte request straight to TCP
# port 4239, for numbers zubremote itself refuses to send.
send_request() {
    /usr/bin/python3 -c '
import socket, struct, sys
with socket.create_connection(("127.0.0.1", 4239), timeout=10) as s:
    s.sendall(struct.pack("<iii", ord(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3])))
' "$@"
}

play_by_button() { click_button "$MAIN_TITLE" "$IDC_PLAY" || e2e_fail "could not click Play"; }
play_by_remote() { remote play || e2e_fail "the remote could not send 'play'"; }

# load_and_play MARK PLAY WHAT: after the Unload since MARK, Load of slot 7
# and then the function PLAY play the loaded disc from track 1.
load_and_play() {
    click_button "$MAIN_TITLE" "$IDC_LOAD" || e2e_fail "could not click Load"
    wait_for_commands "$1" 20 "03 UNLOAD" "01 LOAD A07" || e2e_fail "Load sent no LOAD A07"
    "$2"
    wait_for_commands "$1" 20 "03 UNLOAD" "01 LOAD A07" "04 TRACK A01" "10 PLAY" ||
        e2e_fail "$3: $(commands_since "$1" | tr '\n' ',')"
    e2e_log "ok: $3 plays the loaded disc from track 1"
}

e2e_begin remote_rejects 360
[ -x "$ZUB_REMOTE" ] || e2e_fail "no remote client at $ZUB_REMOTE"
CONTROL=$ZUB_RUN_DIR/control.fifo
wait_until 60 "TCP port 4239 to be free" port_free 4239 || e2e_fail "TCP port 4239 is taken"
e2e_start_sim --control "$CONTROL"
control fault silent # no status reply until the info request below is answered
start_exe "$(e2e_workdir)" || e2e_fail "the program did not start"
wait_for_port 4239 90 || e2e_fail "nothing answers on TCP port 4239"

info=$(remote info) || e2e_fail "no reply to 'info'"
check "'info' before any status reply names disc 0 and no artist or title ($info)" \
    test "$info" = $'disc 0 track 0\nartist: \ntitle: '
json=$(remote --json info) || e2e_fail "no reply to 'info --json'"
check "the same as JSON ($json)" test "$json" = '{"disc":0,"track":0,"artist":"","title":""}'
control fault none
wait_for_window "$MAIN_TITLE" 60 || e2e_fail "no window '$MAIN_TITLE'"
e2e_scan

# A playlist exists and the changer is stopped: a whole-disc mode set by a
# rejected request would make the next poll play a shuffled entry.
mark=$(log_mark)
click_button "$MAIN_TITLE" "$IDC_RANDOM" || e2e_fail "could not click Random"
wait_for_run "$mark" 20 "10 PLAY" "07 AUTOPAUSE_ON" || e2e_fail "Random played nothing"
mark=$(log_mark)
click_button "$MAIN_TITLE" "$IDC_STOP" || e2e_fail "could not click Stop"
wait_for_commands "$mark" 20 "02 STOP" || e2e_fail "Stop sent no STOP"
wait_status_frames "$(log_mark)" 2 30

mark=$(log_mark)
remote disc 3 || e2e_fail "the remote could not send 'disc 3'" # an empty slot
for numbers in "1 65543 0" "1 -65486 0" "2 65543 3" "2 -65486 3" "2 7 65539" \
    "2 0 1" "2 7 0" "2 101 1" "2 7 100"; do
    # shellcheck disable=SC2086  # command and numbers
    send_request $numbers || e2e_fail "could not send the request '$numbers'"
done
# zubremote refuses such numbers itself, with exit code 2.
for numbers in "disc 101" "track 7 100"; do
    status=0
    # shellcheck disable=SC2086  # command and numbers
    remote $numbers 2>/dev/null || status=$?
    check "zubremote refuses '$numbers' with exit code 2 (got $status)" test "$status" = 2
done
wait_status_frames "$mark" 3 30
check "rejected disc and track requests sent nothing, nor did the polls after them" \
    commands_are "$mark"
remote track 12 2 || e2e_fail "the remote could not send 'track 12 2'"
wait_for_commands "$mark" 20 "01 LOAD A12" "04 TRACK A02" "10 PLAY" "07 AUTOPAUSE_ON" ||
    e2e_fail "after the rejected requests: $(commands_since "$mark" | tr '\n' ',')"
e2e_log "ok: after them a valid request plays disc 12 track 2, and nothing else was sent"

# Unload, Load, Play: the button, then the remote's forwarded Play.
mark=$(log_mark)
click_button "$MAIN_TITLE" "$IDC_UNLOAD" || e2e_fail "could not click Unload"
wait_for_commands "$mark" 20 "03 UNLOAD" || e2e_fail "Unload sent no UNLOAD"
click_row "$MAIN_TITLE" "$IDC_DISCLIST" 6 || e2e_fail "could not select slot 7"
load_and_play "$mark" play_by_button "Unload, Load, Play"

mark=$(log_mark)
click_button "$MAIN_TITLE" "$IDC_UNLOAD" || e2e_fail "could not click Unload"
wait_for_commands "$mark" 20 "03 UNLOAD" || e2e_fail "Unload sent no UNLOAD"
load_and_play "$mark" play_by_remote "Unload, Load and the remote's play"

e2e_exit
e2e_pass

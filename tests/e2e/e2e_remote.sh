#!/usr/bin/env bash
# Remote control under Wine: a client on TCP port 4239 plays a track and a
# whole disc, pauses and stops through the window, and reads the position
# and the catalogue entry of the playing disc. Closing the window (as the
# system menu does) ends the program with exit code 0 while a client is
# still connected.
set -euo pipefail
source "$(dirname "$0")/e2e_lib.sh"

position_is() { [ "$(remote position)" = "$1" ]; }

e2e_begin remote 240
[ -x "$ZUB_REMOTE" ] || e2e_fail "no remote client at $ZUB_REMOTE"
e2e_start_sim
start_exe "$(e2e_workdir)" || e2e_fail "the program did not start"
wait_for_port 4239 60 || e2e_fail "nothing answers on TCP port 4239"
e2e_log "ok: TCP port 4239 answers"
wait_for_window "$MAIN_TITLE" 60 || e2e_fail "no window '$MAIN_TITLE'"
e2e_scan

mark=$(log_mark)
remote track 7 3 || e2e_fail "the remote could not send 'track 7 3'"
wait_for_run "$mark" 20 "01 LOAD A07" "04 TRACK A03" "10 PLAY" "07 AUTOPAUSE_ON" ||
    e2e_fail "'track 7 3' did not play disc 7 track 3 with autopause on"
e2e_log "ok: 'track 7 3' sent load, track, play and autopause on in one run"
wait_until 20 "the position disc 7 track 3" position_is "disc 7 track 3" ||
    e2e_fail "the position is '$(remote position)', not disc 7 track 3"
e2e_log "ok: the position reads disc 7 track 3"

info=$(remote info) || e2e_fail "no reply to 'info'"
IFS=$'\t' read -r artist title < <(catalogue_entry 7)
check "'info' names the artist of slot 7 ($artist)" grep -qxF "artist: $artist" <<<"$info"
check "'info' names the title of slot 7 ($title)" grep -qxF "title: $title" <<<"$info"
screenshot playing

mark=$(log_mark)
remote pause || e2e_fail "the remote could not send 'pause'"
wait_for_run "$mark" 20 "09 PAUSE" || e2e_fail "'pause' did not reach the changer"
e2e_log "ok: 'pause' pressed Pause"

mark=$(log_mark)
remote stop || e2e_fail "the remote could not send 'stop'"
wait_for_run "$mark" 20 "02 STOP" || e2e_fail "'stop' did not reach the changer"
e2e_log "ok: 'stop' pressed Stop"

mark=$(log_mark)
remote disc 12 || e2e_fail "the remote could not send 'disc 12'"
wait_for_run "$mark" 20 "01 LOAD A12" "04 TRACK A01" "10 PLAY" "08 AUTOPAUSE_OFF" ||
    e2e_fail "'disc 12' did not play disc 12 from track 1 with autopause off"
e2e_log "ok: 'disc 12' plays the whole disc"

exec 7<>/dev/tcp/127.0.0.1/4239 || e2e_fail "cannot connect to TCP port 4239"
probe close "$MAIN_TITLE" >/dev/null || e2e_fail "could not close the window"
wait_for_exit 30 || e2e_fail "the program did not end after its window was closed"
check "the exit code is 0 with a client connected (got $ZUB_EXE_RC)" test "$ZUB_EXE_RC" = 0
exec 7>&-
e2e_pass

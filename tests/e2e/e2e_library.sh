#!/usr/bin/env bash
# The library under Wine: a scan is remembered in zubcd.db; the next start
# shows the whole disc list at once with Random and Next enabled, and Random
# plays without a scan (the first load of each disc asks for its identifier).
# A disc swapped in the changer while the program is off is noticed at its
# first load: the slot is read anew before anything plays, its row shows the
# new disc, a track the new disc has plays and one it lacks is never asked
# for; a play-disc request for a swapped disc that starts at another track
# plays that disc's first track at once.
set -euo pipefail
source "$(dirname "$0")/e2e_lib.sh"

SWAPPED=5
NEW_ID=NEWDISC005
WHOLE=7  # swapped for a disc whose first track is 3

log_since_has() { log_since "$1" | grep -qE -- "$2"; }
disc_list() { list_rows "$MAIN_TITLE" "$IDC_DISCLIST" | cut -f 1-4; }
disc_list_is() { [ "$(disc_list)" = "$1" ]; }
row_shows_id() { [ "$(disc_list | awk -F '\t' -v row=$(($1 - 1)) '$1 == row { print $3 }')" = "$2" ]; }

e2e_begin library 300
[ -f "$ZUB_MAGAZINE" ] || e2e_fail "no magazine at $ZUB_MAGAZINE"
CONTROL=$ZUB_RUN_DIR/control.fifo
WORK=$(e2e_workdir)
e2e_start_sim --speed 60 --control "$CONTROL"

# First run: no library yet, so the window starts as it always has.
start_exe "$WORK" || e2e_fail "the program did not start"
wait_for_window "$MAIN_TITLE" 60 || e2e_fail "no window '$MAIN_TITLE'"
check "Random starts disabled without a library" button_disabled "$MAIN_TITLE" "$IDC_RANDOM"
e2e_scan
disc_list >"$ZUB_RUN_DIR/scanned.txt"
e2e_exit
check "the library file is there" test -s "$WORK/zubcd.db"

# Second run: the disc list is full as soon as the window is there.
mark=$(log_mark)
start_exe "$WORK" || e2e_fail "the program did not start again"
wait_for_window "$MAIN_TITLE" 60 || e2e_fail "no window '$MAIN_TITLE' on the second start"
disc_list >"$ZUB_RUN_DIR/restored.txt"
check "the disc list is full at once, as the scan left it" \
    diff "$ZUB_RUN_DIR/scanned.txt" "$ZUB_RUN_DIR/restored.txt"
check "Random is enabled without a scan" button_enabled "$MAIN_TITLE" "$IDC_RANDOM"
check "Next is enabled without a scan" button_enabled "$MAIN_TITLE" "$IDC_NEXT"
check "no error box" no_error_box
screenshot restored

played=$(log_mark)
click_button "$MAIN_TITLE" "$IDC_RANDOM" || e2e_fail "could not click Random"
wait_until 20 "a shuffled entry to play" log_since_has "$played" "^10 PLAY" ||
    e2e_fail "Random played nothing: $(log_since "$played" | grep -v '^16' | tr '\n' ',')"
first=$(log_since "$played" | grep -v '^16 ' | head -n 5 | tr '\n' ',')
check "the first load asked for the disc identifier, then played ($first)" \
    grep -qE '^01 LOAD A[0-9]+,13 DISC_ID,04 TRACK A[0-9]+,10 PLAY,07 ' <<<"$first"
check "nothing was scanned ($(log_since "$mark" | grep -c '^01 ') loads)" \
    test -z "$(log_since "$mark" | grep -E '^(03|15) ')"
e2e_exit

# The changer gets another disc in slot SWAPPED while the program is off.
sim_control "$CONTROL" "remove $SWAPPED" || e2e_fail "the simulator took no remove"
sim_control "$CONTROL" "insert $SWAPPED $NEW_ID 1:11 2:22 3:33" ||
    e2e_fail "the simulator took no insert"
sim_control "$CONTROL" "remove $WHOLE" || e2e_fail "the simulator took no remove"
sim_control "$CONTROL" "insert $WHOLE NEWDISC007 first=3 1:11 2:22" || e2e_fail "the simulator took no insert"
start_exe "$WORK" || e2e_fail "the program did not start a third time"
wait_for_window "$MAIN_TITLE" 60 || e2e_fail "no window on the third start"
wait_for_port 4239 60 || e2e_fail "nothing answers on TCP port 4239"
check "the row still shows the remembered disc" row_shows_id "$SWAPPED" \
    "$(magazine_discs | awk -v s=$SWAPPED '$1 == s { print $2 }')"

swap=$(log_mark)
remote track "$SWAPPED" 2 || e2e_fail "zubremote track failed"
slot=$(printf 'A%02d' "$SWAPPED")
wait_for_run "$swap" 20 "01 LOAD $slot" "13 DISC_ID" "15 TOC" "17 TRACK_INFO A01" \
    "17 TRACK_INFO A02" "17 TRACK_INFO A03" "04 TRACK A02" "10 PLAY" "07 AUTOPAUSE_ON" ||
    e2e_fail "the swapped disc was not read before it played: $(log_since "$swap" | grep -v '^16' | tr '\n' ',')"
e2e_log "ok: the swapped disc was read anew, then track 2 played"
wait_until 20 "the row to show $NEW_ID" row_shows_id "$SWAPPED" "$NEW_ID" ||
    e2e_fail "the row of slot $SWAPPED does not show $NEW_ID: $(disc_list | sed -n "${SWAPPED}p")"
e2e_log "ok: the row shows the new disc"

lacking=$(log_mark)
remote track "$SWAPPED" 9 || e2e_fail "zubremote track failed"
remote track "$SWAPPED" 3 || e2e_fail "zubremote track failed"
wait_for_run "$lacking" 20 "04 TRACK A03" || e2e_fail "track 3 of the new disc did not play"
check "track 9, which the new disc lacks, was never asked for" \
    test -z "$(log_since "$lacking" | grep -E '^04 TRACK A09')"
check "the slot is read once per session" test -z "$(log_since "$lacking" | grep -E '^(13|15) ')"

whole=$(log_mark)
remote disc "$WHOLE" || e2e_fail "zubremote disc failed"
wait_for_run "$whole" 20 "01 LOAD $(printf 'A%02d' "$WHOLE")" "13 DISC_ID" "15 TOC" "17 TRACK_INFO A03" \
    "17 TRACK_INFO A04" "04 TRACK A03" "10 PLAY" "08 AUTOPAUSE_OFF" ||
    e2e_fail "the swapped disc did not play from its first track: $(log_since "$whole" | grep -v '^16' | tr '\n' ',')"
e2e_log "ok: the play-disc request read the swapped disc, then played its first track, 3"
e2e_exit
e2e_pass

#!/usr/bin/env bash
# Names through the remote under Wine: a track named and styled with
# zubremote reads back with 'zubremote tracks'; a disc's artist and title
# set with zubremote change that one line of zub.txt on disk (every other
# line byte for byte), the disc list's row and the discs reply at once.
set -euo pipefail
source "$(dirname "$0")/e2e_lib.sh"

row_artist() { list_rows "$MAIN_TITLE" "$IDC_DISCLIST" | awk -F '\t' -v row=$(($1 - 1)) '$1 == row { print $6 }'; }
row_shows_artist() { [ "$(row_artist "$1")" = "$2" ]; }

e2e_begin names 300
[ -x "$ZUB_REMOTE" ] || e2e_fail "no remote client at $ZUB_REMOTE"
WORK=$(e2e_workdir)
[ -f "$WORK/zub.txt" ] || e2e_fail "no catalogue at $ZUB_CATALOGUE"
cp "$WORK/zub.txt" "$ZUB_RUN_DIR/zub-before.txt"
e2e_start_sim --speed 60
start_exe "$WORK" || e2e_fail "the program did not start"
wait_for_port 4239 60 || e2e_fail "nothing answers on TCP port 4239"
wait_for_window "$MAIN_TITLE" 60 || e2e_fail "no window '$MAIN_TITLE'"
e2e_scan

read -r SLOT _ <<<"$(magazine_discs | head -n 1)"
[ -n "$SLOT" ] || e2e_fail "the magazine names no disc"

remote set-track "$SLOT" 1 --title "Caf$(printf '\303\251') Noir" --style Jazz ||
    e2e_fail "zubremote set-track failed"
tracks=$(remote --json tracks "$SLOT") || e2e_fail "zubremote tracks failed"
check "tracks reads the title and style back ($tracks)" \
    grep -q "{\"track\":1,\"title\":\"Caf$(printf '\303\251') Noir\",\"style\":\"Jazz\"" <<<"$tracks"

remote set-disc "$SLOT" --artist "Renamed Artist" --title "Renamed Title" ||
    e2e_fail "zubremote set-disc failed"
line=$(sed -n "${SLOT}p" "$WORK/zub.txt")
check "zub.txt line $SLOT names the disc anew" test "$line" = $'Renamed Artist\tRenamed Title\r'
check "every other line of zub.txt is as it was" \
    diff <(sed "${SLOT}d" "$ZUB_RUN_DIR/zub-before.txt") <(sed "${SLOT}d" "$WORK/zub.txt")
check "no file is left beside zub.txt" test ! -e "$WORK/zub.txt.new"
check "the discs reply reads the new artist" \
    grep -q "^$SLOT .* Renamed Artist / Renamed Title\$" <<<"$(remote discs)"
wait_until 20 "the disc list's row to show the new artist" row_shows_artist "$SLOT" "Renamed Artist" ||
    e2e_fail "the row of slot $SLOT shows '$(row_artist "$SLOT")'"
e2e_log "ok: the disc list shows the new artist"

status=0
remote set-track "$SLOT" 99 --title "X" 2>"$ZUB_RUN_DIR/refused.txt" || status=$?
check "a track the disc lacks is refused with exit code 4 (got $status)" test "$status" = 4
check "with one line saying why ($(cat "$ZUB_RUN_DIR/refused.txt"))" \
    grep -q "^zubremote: the disc in slot $SLOT has no track 99" "$ZUB_RUN_DIR/refused.txt"
check "no error box" no_error_box
e2e_exit
e2e_pass

#!/usr/bin/env bash
# Names through the remote under Wine: a track named and styled with
# zubremote reads back with 'zubremote tracks' and shows in the window's
# track list; a disc's artist and title set with zubremote change that one
# line of zub.txt on disk (every other line byte for byte), the disc list's
# row and the discs reply at once. On the web remote's page in headless
# Chromium (tests/e2e/web_names_check.py) the track's title shows among its
# disc's tracks, and an artist typed into a disc's edit form changes that
# one line of zub.txt and the window's row.
set -euo pipefail
source "$(dirname "$0")/e2e_lib.sh"

ZUB_WEB=${ZUB_WEB:-$ZUB_BUILD/native/zubweb}
WEB_PID=""

names_finish() {
    local status=$?
    stop_process "$WEB_PID"
    e2e_finish "$status"
}

# web_serving LOG: the zubweb writing LOG listens; web_port LOG: on which port.
web_serving() { grep -q '^zubweb: serving http://' "$1"; }
web_port() { sed -n 's|^zubweb: serving http://[^ ]*:\([0-9]*\)/ .*|\1|p' "$1" | head -n 1; }

row_artist() { list_rows "$MAIN_TITLE" "$IDC_DISCLIST" | awk -F '\t' -v row=$(($1 - 1)) '$1 == row { print $6 }'; }
row_shows_artist() { [ "$(row_artist "$1")" = "$2" ]; }
# track_cells TRACK: "title<TAB>style" of the track's row in the window's track list.
track_cells() {
    list_rows "$MAIN_TITLE" "$IDC_TRACKLIST" | awk -F '\t' -v t="$1" '$2 == t { print $5 "\t" $6 }'
}
track_shows() { [ "$(track_cells "$1")" = "$2" ]; }

e2e_begin names 360
trap names_finish EXIT
[ -x "$ZUB_REMOTE" ] || e2e_fail "no remote client at $ZUB_REMOTE"
[ -x "$ZUB_WEB" ] || e2e_fail "no web remote at $ZUB_WEB"
/usr/bin/python3 -c 'import selenium' 2>/dev/null || e2e_fail "python3-selenium is missing"
[ -x /usr/bin/chromium ] && [ -x /usr/bin/chromedriver ] || e2e_fail "chromium or chromedriver missing"
WORK=$(e2e_workdir)
[ -f "$WORK/zub.txt" ] || e2e_fail "no catalogue at $ZUB_CATALOGUE"
cp "$WORK/zub.txt" "$ZUB_RUN_DIR/zub-before.txt"
e2e_start_sim --speed 60
start_exe "$WORK" || e2e_fail "the program did not start"
wait_for_port 4239 60 || e2e_fail "nothing answers on TCP port 4239"
wait_for_window "$MAIN_TITLE" 60 || e2e_fail "no window '$MAIN_TITLE'"
e2e_scan

read -r SLOT _ <<<"$(magazine_discs | head -n 1)"
read -r EDIT_SLOT _ <<<"$(magazine_discs | sed -n 2p)"
[ -n "$SLOT" ] && [ -n "$EDIT_SLOT" ] || e2e_fail "the magazine names fewer than two discs"

remote set-track "$SLOT" 1 --title "Caf$(printf '\303\251') Noir" --style Jazz ||
    e2e_fail "zubremote set-track failed"
tracks=$(remote --json tracks "$SLOT") || e2e_fail "zubremote tracks failed"
check "tracks reads the title and style back ($tracks)" \
    grep -q "{\"track\":1,\"title\":\"Caf$(printf '\303\251') Noir\",\"style\":\"Jazz\"" <<<"$tracks"

# The window's track list, for the slot's row clicked: the title in the
# window's code page (Windows-1252), as the catalogue's texts are shown.
click_row "$MAIN_TITLE" "$IDC_DISCLIST" $((SLOT - 1)) || e2e_fail "could not click the row of slot $SLOT"
wait_until 20 "the track list to show track 1's title and style" \
    track_shows 1 "$(printf 'Caf\351 Noir\tJazz')" ||
    e2e_fail "track 1 shows '$(track_cells 1)' in the track list"
e2e_log "ok: the track list shows track 1's title and style"

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

# The web remote's page: the track's title among its disc's tracks, then an
# artist edited in another disc's form, written in the file's Windows-1252.
"$ZUB_WEB" --listen 127.0.0.1:0 </dev/null >"$ZUB_RUN_DIR/zubweb.log" 2>&1 &
WEB_PID=$!
wait_until 20 "zubweb to listen" web_serving "$ZUB_RUN_DIR/zubweb.log" || e2e_fail "zubweb did not start"
url=http://127.0.0.1:$(web_port "$ZUB_RUN_DIR/zubweb.log")/
cp "$WORK/zub.txt" "$ZUB_RUN_DIR/zub-before-page.txt"
page_artist="Zo$(printf '\303\253') Typed On The Page"
timeout 150 /usr/bin/python3 "$E2E_ROOT/tests/e2e/web_names_check.py" "$url" "$SLOT" 1 \
    "Caf$(printf '\303\251') Noir" "$EDIT_SLOT" "$page_artist" \
    </dev/null >"$ZUB_RUN_DIR/web_names_check.log" 2>&1 ||
    e2e_fail "the page checks failed: $(cat "$ZUB_RUN_DIR/web_names_check.log")"
cat "$ZUB_RUN_DIR/web_names_check.log" >&2
edit_title=$(catalogue_entry "$EDIT_SLOT" | cut -f 2)
line=$(sed -n "${EDIT_SLOT}p" "$WORK/zub.txt")
check "zub.txt line $EDIT_SLOT holds the artist typed on the page" \
    test "$line" = "$(printf 'Zo\353 Typed On The Page\t%s\r' "$edit_title")"
check "every other line of zub.txt is as it was, byte for byte" \
    cmp <(sed "${EDIT_SLOT}d" "$ZUB_RUN_DIR/zub-before-page.txt") <(sed "${EDIT_SLOT}d" "$WORK/zub.txt")
wait_until 20 "the disc list's row to show the artist typed on the page" \
    row_shows_artist "$EDIT_SLOT" "$(printf 'Zo\353 Typed On The Page')" ||
    e2e_fail "the row of slot $EDIT_SLOT shows '$(row_artist "$EDIT_SLOT")'"
e2e_log "ok: the disc list shows the artist typed on the page"
stop_process "$WEB_PID"
WEB_PID=""

status=0
remote set-track "$SLOT" 99 --title "X" 2>"$ZUB_RUN_DIR/refused.txt" || status=$?
check "a track the disc lacks is refused with exit code 4 (got $status)" test "$status" = 4
check "with one line saying why ($(cat "$ZUB_RUN_DIR/refused.txt"))" \
    grep -q "^zubremote: the disc in slot $SLOT has no track 99" "$ZUB_RUN_DIR/refused.txt"
check "no error box" no_error_box
e2e_exit
e2e_pass

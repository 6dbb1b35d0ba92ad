#!/usr/bin/env bash
# Magazine scan under Wine: Scan (clicked) fills the disc list with one row
# per slot, identifiers and track ranges from the changer, artist and title
# from zub.txt, and enables Random and Next; clicking a disc row shows its
# tracks with their lengths.
set -euo pipefail
source "$(dirname "$0")/e2e_lib.sh"

# The disc list as the scan should leave it, without the Time column:
# "row<TAB>slot<TAB>id<TAB>first-last<TAB>artist<TAB>title".
expected_disc_rows() {
    magazine_discs | awk -v catalogue="$ZUB_CATALOGUE" '
        BEGIN {
            n = 0
            while ((getline line < catalogue) > 0) {
                n++
                sub(/\r$/, "", line); gsub(/"/, "", line)
                tab = index(line, "\t")
                artist[n] = tab ? substr(line, 1, tab - 1) : line
                title[n] = tab ? substr(line, tab + 1) : ""
            }
        }
        { id[$1] = $2; range[$1] = $3 "-" ($3 + $4 - 1) }
        END {
            for (slot = 1; slot <= 100; slot++) {
                if (slot in id) {
                    printf "%d\t%d\t%s\t%s\t%s\t%s\n", slot - 1, slot, id[slot], range[slot], artist[slot], title[slot]
                } else {
                    printf "%d\t%d\tno disc\t\t\t\n", slot - 1, slot
                }
            }
        }'
}

# Track rows of one slot as shown: "row<TAB>track<TAB>length".
expected_track_rows() {
    magazine_discs | awk -v slot="$1" '$1 == slot {
        for (i = 5; i <= NF; i++) {
            split($i, t, ":")
            printf "%d\t%d\t%d:%02d\n", i - 5, $3 + i - 5, t[1], t[2]
        }
    }'
}

track_list_shows() { [ "$(list_rows "$MAIN_TITLE" "$IDC_TRACKLIST" | cut -f 1,2,4)" = "$1" ]; }

e2e_begin scan 240
[ -f "$ZUB_MAGAZINE" ] || e2e_fail "no magazine at $ZUB_MAGAZINE"
e2e_start_sim
start_exe "$(e2e_workdir)" || e2e_fail "the program did not start"
wait_for_window "$MAIN_TITLE" 60 || e2e_fail "no window '$MAIN_TITLE'"

check "Random starts disabled" button_disabled "$MAIN_TITLE" "$IDC_RANDOM"
check "Next starts disabled" button_disabled "$MAIN_TITLE" "$IDC_NEXT"

mark=$(log_mark)
e2e_scan
first=$(log_since "$mark" | grep -v '^16 ' | head -n 1)
check "the scan began with 03 UNLOAD (got '$first')" test "$first" = "03 UNLOAD"
e2e_log "ok: the scan ended and enabled Random and Next"
screenshot scanned

check "slot 100 was loaded as A00" grep -qE '^[0-9.]+ 01 LOAD A00' "$ZUB_SIM_LOG"
list_rows "$MAIN_TITLE" "$IDC_DISCLIST" >"$ZUB_RUN_DIR/disc-list.txt" || e2e_fail "cannot read the disc list"
expected_disc_rows >"$ZUB_RUN_DIR/disc-list.expected"
cut -f 1-4,6,7 "$ZUB_RUN_DIR/disc-list.txt" >"$ZUB_RUN_DIR/disc-list.shown"
check "the disc list shows the magazine and the catalogue" \
    diff "$ZUB_RUN_DIR/disc-list.expected" "$ZUB_RUN_DIR/disc-list.shown"
check "every loaded disc has a time" \
    awk -F '\t' '$3 != "no disc" && $5 !~ /^[0-9]+:[0-5][0-9]$/ { bad = 1 } END { exit bad }' \
    "$ZUB_RUN_DIR/disc-list.txt"

# A click on a disc row shows that disc's tracks; a disc whose first track
# is not 1 numbers them from its first track.
for slot in $(magazine_discs | awk '{ print $1 }' | sed -n '4p;7p'); do
    expected=$(expected_track_rows "$slot")
    click_row "$MAIN_TITLE" "$IDC_DISCLIST" $((slot - 1)) || e2e_fail "could not click the row of slot $slot"
    wait_until 20 "the tracks of slot $slot" track_list_shows "$expected" ||
        e2e_fail "the track list does not show slot $slot: $(list_rows "$MAIN_TITLE" "$IDC_TRACKLIST" | tr '\t\n' ' |')"
    e2e_log "ok: a click on slot $slot shows its $(wc -l <<<"$expected") tracks"
done
screenshot tracks

e2e_exit
e2e_pass

#!/usr/bin/env bash
# Shuffle play under Wine: after a scan, Random plays playlist entries one
# after another by itself (the changer pauses at each track end), each entry
# a track of a loaded disc and none twice; Next skips ahead; once discs are
# taken out of the changer mid-pass, their entries are passed over and play
# goes on; Stop stops.
# The simulated changer runs its clock fast so that tracks end in seconds.
set -euo pipefail
source "$(dirname "$0")/e2e_lib.sh"

# The played entries after MARK as "disc track", from each run of
# load, track, play and autopause on.
played_since() {
    log_since "$1" | awk '
        $1 == "01" { load = substr($3, 2) + 0; if (load == 0) load = 100; step = 1; next }
        $1 == "04" && step == 1 { track = substr($3, 2) + 0; step = 2; next }
        $1 == "10" && step == 2 { step = 3; next }
        $1 == "07" && step == 3 { print load, track; step = 0; next }
        { step = 0 }'
}

enough_played() { (($(played_since "$1" | wc -l) >= $2)); }

# An entry names a track that the magazine holds.
valid_entries() {
    awk 'NR == FNR { first[$1] = $3; count[$1] = $4; next }
        !($1 in first) || $2 < first[$1] || $2 >= first[$1] + count[$1] { print "not in the magazine:", $0; bad = 1 }
        END { exit bad }' <(magazine_discs) -
}

e2e_begin random 240
[ -f "$ZUB_MAGAZINE" ] || e2e_fail "no magazine at $ZUB_MAGAZINE"
CONTROL=$ZUB_RUN_DIR/control.fifo
e2e_start_sim --speed 60 --control "$CONTROL"
start_exe "$(e2e_workdir)" || e2e_fail "the program did not start"
wait_for_window "$MAIN_TITLE" 60 || e2e_fail "no window '$MAIN_TITLE'"
e2e_scan

mark=$(log_mark)
click_button "$MAIN_TITLE" "$IDC_RANDOM" || e2e_fail "could not click Random"
wait_until 20 "the first shuffled entry" enough_played "$mark" 1 || e2e_fail "Random played nothing"
e2e_log "ok: Random plays $(played_since "$mark" | head -n 1)"
screenshot shuffle
wait_until 120 "two more entries played at track ends" enough_played "$mark" 3 ||
    e2e_fail "the player did not advance by itself: $(played_since "$mark" | tr '\n' ',')"
e2e_log "ok: the player advanced by itself: $(played_since "$mark" | tr '\n' ',')"

skip=$(log_mark)
click_button "$MAIN_TITLE" "$IDC_NEXT" || e2e_fail "could not click Next"
wait_until 20 "Next to play an entry" enough_played "$skip" 1 || e2e_fail "Next played nothing"
e2e_log "ok: Next plays $(played_since "$skip" | head -n 1)"

played_since "$mark" >"$ZUB_RUN_DIR/played.txt"
check "every entry is a track of a loaded disc" valid_entries <"$ZUB_RUN_DIR/played.txt"
check "no entry is played twice" test -z "$(sort "$ZUB_RUN_DIR/played.txt" | uniq -d)"

# Every disc but the first goes from the changer; the playlist still names
# them. Their loads fail and the player moves on to the first disc's tracks.
kept=$(magazine_discs | awk 'NR == 1 { print $1 }')
for slot in $(magazine_discs | awk 'NR > 1 { print $1 }'); do
    sim_control "$CONTROL" "remove $slot" || e2e_fail "the simulator took no 'remove $slot'"
done
removed=$(log_mark)
failed_load_passed_over() {
    log_since "$removed" | awk -v kept="$kept" '
        $1 == "01" { slot = substr($3, 2) + 0; if (slot == 0) slot = 100
            if (prev != "" && prev != kept) found = 1
            prev = slot; next }
        { prev = "" }
        END { exit !found }'
}
wait_until 120 "three entries of slot $kept played after the removal" \
    enough_played "$removed" 3 || e2e_fail "play stopped once discs were gone: $(played_since "$removed" | tr '\n' ',')"
check "a load of a removed disc was followed at once by another load" failed_load_passed_over
check "only the kept disc plays ($(played_since "$removed" | tr '\n' ','))" \
    test -z "$(played_since "$removed" | awk -v kept="$kept" '$1 != kept')"

stop=$(log_mark)
click_button "$MAIN_TITLE" "$IDC_STOP" || e2e_fail "could not click Stop"
wait_for_run "$stop" 20 "02 STOP" || e2e_fail "Stop did not reach the changer"
e2e_log "ok: Stop stops"

e2e_exit
e2e_pass

#!/usr/bin/env bash
# Shuffle play under Wine: after a scan, Random plays playlist entries one
# after another by itself (the changer pauses at each track end), each entry
# a track of a loaded disc and none twice; Next skips ahead. A shuffle of one
# style (styles given with zubremote to tracks and to a whole disc, a
# track's own style before its disc's) loads and plays only that style's
# tracks, each once, then shuffles them again; a style no track has changes
# nothing; Random returns to every track. Once discs are taken out of the
# changer mid-pass, their entries are passed over and play goes on; Stop
# stops.
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

# The shuffle's playlist from the status reply: "mode count".
shuffle_state() {
    remote --json status | sed -n 's/.*"mode":"\([a-z-]*\)".*"playlist_count":\([0-9]*\).*/\1 \2/p'
}

shuffle_is() { [ "$(shuffle_state)" = "$1" ]; }

# Loads and plays after MARK outside the style's tracks (in STYLED, "slot
# track" lines): "load N" for a load of a slot none of them is on, "play
# D T" for a track played that is none of them.
outside_style() {
    log_since "$1" | STYLED=$STYLED awk '
        BEGIN { n = split(ENVIRON["STYLED"], lines, "\n")
            for (i = 1; i <= n; i++) { split(lines[i], f, " "); slots[f[1]] = 1; tracks[f[1] " " f[2]] = 1 } }
        $1 == "01" { load = substr($3, 2) + 0; if (load == 0) load = 100
            if (!(load in slots)) print "load", load; next }
        $1 == "04" { if (!((load " " (substr($3, 2) + 0)) in tracks)) print "play", load, substr($3, 2) + 0 }'
}

e2e_begin random 360
[ -x "$ZUB_REMOTE" ] || e2e_fail "no remote client at $ZUB_REMOTE"
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

# A shuffle of one style. Stopped first, so that no track end of the shuffle
# of every track moves on to one of its entries after the mark.
stop=$(log_mark)
click_button "$MAIN_TITLE" "$IDC_STOP" || e2e_fail "could not click Stop"
wait_for_run "$stop" 20 "02 STOP" || e2e_fail "Stop did not reach the changer"
read -r JAZZ_SLOT _ <<<"$(magazine_discs | awk '$4 == 3')"
[ -n "$JAZZ_SLOT" ] || e2e_fail "the magazine has no disc of three tracks"
read -r FIRST_SLOT _ <<<"$(magazine_discs | awk '$4 >= 7 && $3 == 1')"
read -r OTHER_SLOT _ <<<"$(magazine_discs |
    awk -v first="$FIRST_SLOT" -v jazz="$JAZZ_SLOT" '$1 != first && $1 != jazz && $4 >= 2 && $3 == 1')"
[ -n "$FIRST_SLOT" ] && [ -n "$OTHER_SLOT" ] || e2e_fail "the magazine lacks discs for the styles"
remote set-track "$FIRST_SLOT" 3 --title "First Jazz" --style Jazz &&
    remote set-track "$FIRST_SLOT" 7 --style Jazz &&
    remote set-disc "$OTHER_SLOT" --style Rock &&
    remote set-track "$OTHER_SLOT" 2 --title "Rock disc, jazz track" --style jazz &&
    remote set-disc "$JAZZ_SLOT" --style JAZZ &&
    remote set-track "$JAZZ_SLOT" 2 --title "Not jazz" --style Blues ||
    e2e_fail "zubremote could not set the styles"
STYLED=$(printf '%s\n' "$FIRST_SLOT 3" "$FIRST_SLOT 7" "$OTHER_SLOT 2" "$JAZZ_SLOT 1" "$JAZZ_SLOT 3" | sort)
STYLED_COUNT=$(wc -l <<<"$STYLED")
tracks=$(remote tracks "$JAZZ_SLOT") || e2e_fail "zubremote tracks failed"
check "the disc of slot $JAZZ_SLOT reads its style back ($(head -n 1 <<<"$tracks"))" \
    grep -qx "slot $JAZZ_SLOT tracks 1-3 style JAZZ" <<<"$tracks"

jazz=$(log_mark)
answer=$(remote random --style Jazz) || e2e_fail "zubremote random --style Jazz failed"
check "the shuffle selects the style's $STYLED_COUNT tracks ($answer)" \
    test "$answer" = "shuffling $STYLED_COUNT tracks of the style Jazz"
wait_until 60 "two entries of the style played" enough_played "$jazz" 2 ||
    e2e_fail "the style's shuffle played $(played_since "$jazz" | tr '\n' ',')"
check "the shuffle's playlist holds the style's tracks ($(shuffle_state))" \
    test "$(shuffle_state)" = "shuffle $STYLED_COUNT"

status=0
answer=$(remote random --style Nothing 2>&1) || status=$?
check "a style no track has is refused so, exit code 4 (got $status: $answer)" \
    test "$status.$answer" = "4.zubremote: no track has the style Nothing; the playlist is as it was"
check "the playlist is as it was ($(shuffle_state))" test "$(shuffle_state)" = "shuffle $STYLED_COUNT"

wait_until 120 "the style's tracks played once and the first of the next pass" \
    enough_played "$jazz" $((STYLED_COUNT + 1)) ||
    e2e_fail "the style's shuffle stopped: $(played_since "$jazz" | tr '\n' ',')"
played_since "$jazz" >"$ZUB_RUN_DIR/played-jazz.txt"
e2e_log "ok: the style's shuffle played $(tr '\n' ',' <"$ZUB_RUN_DIR/played-jazz.txt")"
check "every load and play since is of the style ($(outside_style "$jazz" | tr '\n' ','))" \
    test -z "$(outside_style "$jazz")"
check "the first pass plays each of the style's tracks once" \
    test "$(head -n "$STYLED_COUNT" "$ZUB_RUN_DIR/played-jazz.txt" | sort)" = "$STYLED"
check "the next pass shuffles the same tracks ($(shuffle_state))" \
    test "$(shuffle_state)" = "shuffle $STYLED_COUNT"

click_button "$MAIN_TITLE" "$IDC_RANDOM" || e2e_fail "could not click Random"
ALL_TRACKS=$(magazine_discs | awk '{ n += $4 } END { print n }')
wait_until 20 "Random to shuffle every track" shuffle_is "shuffle $ALL_TRACKS" ||
    e2e_fail "after Random the shuffle is '$(shuffle_state)', not every one of $ALL_TRACKS tracks"
e2e_log "ok: Random returns to every track"

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

#!/usr/bin/env bash
# A scan that ends early under Wine, against a changer paced at 9600 baud.
# A silent changer: the scan stops after two slots without an answer, shows
# every row as "no disc", enables Random and Next and shows one box owned by
# the main window. Exit during a scan: the scan ends after its current slot
# and the program ends within a few seconds with exit code 0.
set -euo pipefail
source "$(dirname "$0")/e2e_lib.sh"

SILENT_TEXT="The changer does not answer; the scan stopped at slot 2."
EXIT_LIMIT=8  # seconds from the Exit click to the program's end

control() { sim_control "$CONTROL" "$*" || e2e_fail "the simulator took no '$*'"; }

# Loads after log line MARK, one slot argument a line.
loads_since() { log_since "$1" | awk '$1 == "01" { print $3 }'; }

loads_at_least() { (($(loads_since "$1" | wc -l) >= $2)); }

status_since() { log_since "$1" | grep -q '^16 '; }

error_boxes() { window_ids Error | wc -l; }

all_rows_no_disc() {
    [ "$(list_rows "$MAIN_TITLE" "$IDC_DISCLIST" | awk -F '\t' '$3 == "no disc"' | wc -l)" = 100 ]
}

e2e_begin scan_stop 300
CONTROL=$ZUB_RUN_DIR/control.fifo
e2e_start_sim --baud 9600 --control "$CONTROL"
start_exe "$(e2e_workdir)" || e2e_fail "the program did not start"
wait_for_window "$MAIN_TITLE" 60 || e2e_fail "no window '$MAIN_TITLE'"
wait_until 30 "a status frame" status_since 0 || e2e_fail "the status poll does not run"

# A silent changer: a few time-outs, then the scan gives up with one box.
control fault silent
mark=$(log_mark)
click_button "$MAIN_TITLE" "$IDC_SCAN" || e2e_fail "could not click Scan"
wait_for_window Error 120 || e2e_fail "no box came up for the silent changer"
screenshot silent-scan
box=$(probe children Error) || e2e_fail "the probe cannot read the box"
printf '%s\n' "$box" >"$ZUB_RUN_DIR/silent-box.txt"
check "the box says '$SILENT_TEXT'" \
    awk -F '\t' -v want="$SILENT_TEXT" '$3 == want { found = 1 } END { exit !found }' <<<"$box"
owner=$(probe owner Error) || e2e_fail "the probe cannot read the box's owner"
check "the box is owned by the main window (owner '$owner')" test "$owner" = "$MAIN_TITLE"
check "one box only ($(error_boxes))" test "$(error_boxes)" = 1
loads=$(loads_since "$mark" | tr '\n' ' ')
check "the scan loaded slots 1 and 2 only (loads: $loads)" test "$loads" = "A01 A02 "
check "Random and Next are enabled" scan_done
check "every row shows no disc" all_rows_no_disc

control fault none
click_button Error 1 || e2e_fail "could not click OK"
wait_for_window_gone Error 20 || e2e_fail "the box did not go"
mark=$(log_mark)
wait_until 30 "the poll to reach the changer again" status_since "$mark" ||
    e2e_fail "no status frame after the box"
check "no further box" test "$(error_boxes)" = 0

# Exit in the middle of a scan at line speed.
mark=$(log_mark)
click_button "$MAIN_TITLE" "$IDC_SCAN" || e2e_fail "could not click Scan"
wait_until 60 "the scan to load slot 3" loads_at_least "$mark" 3 || e2e_fail "the scan did not start"
exit_at=$(probe center "$MAIN_TITLE" "$IDC_EXIT") || e2e_fail "no Exit button: $exit_at"
started=$(date +%s.%N)
# shellcheck disable=SC2086  # "x y"
click_at $exit_at || e2e_fail "could not click Exit"
wait_for_exit 60 || e2e_fail "the program did not end after Exit during the scan"
took=$(awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')
e2e_log "the program ended ${took}s after Exit"
check "the program ended within ${EXIT_LIMIT}s of Exit (${took}s)" \
    awk -v t="$took" -v limit="$EXIT_LIMIT" 'BEGIN { exit !(t <= limit) }'
check "the exit code is 0 (got $ZUB_EXE_RC)" test "$ZUB_EXE_RC" = 0
last=$(loads_since "$mark" | tail -n 1)
check "the scan stopped early (last load $last)" test "$last" != A00
e2e_pass

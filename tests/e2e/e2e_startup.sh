#!/usr/bin/env bash
# Start-up and exit under Wine: the stop command comes first, the main window
# appears, the status poll runs about every 1.2 s, and Exit ends the program
# with exit code 0.
set -euo pipefail
source "$(dirname "$0")/e2e_lib.sh"

# Prints how many status polls the log holds, then their mean and largest
# interval in seconds.
poll_intervals() {
    awk '$2 == "16" { t[n++] = $1 }
        END {
            if (n < 2) { print n, 0, 0; exit }
            for (i = 1; i < n; i++) { d = t[i] - t[i - 1]; sum += d; if (d > max) max = d }
            printf "%d %.3f %.3f\n", n, sum / (n - 1), max
        }' "$ZUB_SIM_LOG"
}

enough_polls() { (($(grep -c '^[0-9.]* 16 ' "$ZUB_SIM_LOG") >= $1)); }

e2e_begin startup 150
e2e_start_sim
start_exe "$(e2e_workdir)" || e2e_fail "the program did not start"

wait_for_log '^[0-9.]+ 02 ' 60 || e2e_fail "no stop command reached the changer"
first=$(awk 'NR == 1 { print $2, $3 }' "$ZUB_SIM_LOG")
check "the first command is 02 STOP (got '$first')" test "$first" = "02 STOP"

wait_for_window "$MAIN_TITLE" 60 || e2e_fail "no window '$MAIN_TITLE'"
e2e_log "ok: the window '$MAIN_TITLE' is shown"
screenshot started

wait_until 30 "six status polls" enough_polls 6 || e2e_fail "the status poll does not run"
read -r polls mean longest < <(poll_intervals)
e2e_log "$polls polls, mean interval ${mean}s, longest ${longest}s"
check "the polls come about every 1.2 s (mean ${mean}s)" \
    awk -v m="$mean" 'BEGIN { exit !(m >= 1.0 && m <= 2.0) }'
check "no poll interval over 5 s (longest ${longest}s)" \
    awk -v m="$longest" 'BEGIN { exit !(m <= 5.0) }'
check "the program is still running" exe_running

click_button "$MAIN_TITLE" "$IDC_EXIT" || e2e_fail "could not click Exit"
wait_for_exit 30 || e2e_fail "the program did not end after Exit"
check "the exit code is 0 (got $ZUB_EXE_RC)" test "$ZUB_EXE_RC" = 0
check "the window is gone" window_absent "$MAIN_TITLE"
e2e_pass

#!/usr/bin/env bash
# COM1 without a device behind it: the program shows "Port COM1 in use." in a
# box titled "Error", creates no main window and no listening socket, and
# ends with exit code 0 once the box is dismissed.
set -euo pipefail
source "$(dirname "$0")/e2e_lib.sh"

e2e_begin port_in_use 120
com1_absent
start_exe "$(e2e_workdir)" || e2e_fail "the program did not start"

wait_for_window Error 60 || e2e_fail "no box titled 'Error'"
screenshot error-box
box=$(probe children Error) || e2e_fail "the probe cannot read the box"
printf '%s\n' "$box" >"$ZUB_RUN_DIR/error-box.txt"
check "the box says 'Port COM1 in use.'" \
    awk -F '\t' '$3 == "Port COM1 in use." { found = 1 } END { exit !found }' <<<"$box"
check "no main window" window_absent "$MAIN_TITLE"
check "no window titled 'ZUB CD Controller'" window_absent "ZUB CD Controller"
check "nothing listens on TCP port 4239" port_free 4239
check "the program waits for the box" exe_running

click_button Error 1 || e2e_fail "could not click OK"
wait_for_exit 30 || e2e_fail "the program did not end after OK"
check "the exit code is 0 (got $ZUB_EXE_RC)" test "$ZUB_EXE_RC" = 0
e2e_pass

#!/usr/bin/env bash
# Idle remote clients under Wine: 64 clients are served once and then stay
# connected without a request, and a 65th waits in the listen queue. Once
# the first has been idle for 30 s, zubcd.exe closes it and serves the 65th;
# the other 63 stay served, no error box is raised and the program's
# Windows handles come back to where they were.
set -euo pipefail
source "$(dirname "$0")/e2e_lib.sh"

e2e_begin idle_clients 240
e2e_start_for_abuse

# A full house first, so that what the program and its runtime create once
# (two handles under Wine 8) is counted before.
"$ZUB_ABUSE" --port 4239 many >"$ZUB_RUN_DIR/first-pass.md" || {
    cat "$ZUB_RUN_DIR/first-pass.md"
    e2e_fail "the full house failed"
}
handles_mark

# The generator waits for the 65th client's reply up to a minute past the
# idle limit, and checks who was closed.
"$ZUB_ABUSE" --port 4239 idle | tee "$ZUB_RUN_DIR/idle.md" ||
    e2e_fail "the idle clients scenario failed (table above)"

check_handles_back  # the closed session's socket and thread are released
check "no error box was raised" no_error_box
check "it still answers" remote position
e2e_exit
e2e_pass

#!/usr/bin/env bash
# Network abuse under Wine (short form): 64 clients and a waiting 65th,
# 1,000 connect/send/reset cycles, random bytes, split requests and clients
# that never read, against zubcd.exe on TCP port 4239, twice. The program
# keeps answering and raises no error box; in the second pass its
# descriptors, threads and Windows handles come back to where they were.
set -euo pipefail
source "$(dirname "$0")/e2e_lib.sh"

e2e_begin network_abuse 120
e2e_start_for_abuse

# A first pass lets the program and its runtime create what they create
# once, on first use (two handles under Wine 8); the second pass must leave
# the counts where the first left them.
"$ZUB_ABUSE" --port 4239 >"$ZUB_RUN_DIR/first-pass.md" || {
    cat "$ZUB_RUN_DIR/first-pass.md"
    e2e_fail "the first pass failed"
}
handles_mark

"$ZUB_ABUSE" --port 4239 --pid "$ZUB_EXE_PID" | tee "$ZUB_RUN_DIR/abuse.md" ||
    e2e_fail "the abuse scenarios failed (table above)"

check_handles_back
check "no error box was raised" no_error_box
check "the program still runs" exe_running
check "it still answers" remote position
e2e_exit
e2e_pass

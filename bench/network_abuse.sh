#!/usr/bin/env bash
# Network abuse (long form by default, about 2 minutes): 3 rounds of 64
# clients and a waiting 65th, 10,000 connect/send/reset cycles, 400
# connections of random bytes, 4,000 split requests and 4 clients that never
# read; first against the native in-process server, then against zubcd.exe
# under Wine with the simulated changer. Prints a table per server with the
# descriptor and thread counts before and after each scenario, then the
# program's Windows handle count before and after the whole run (counted
# after a first, short pass that lets the runtime create its one-off objects).
#
# bench/network_abuse.sh [--short]   (--short: the form ./test runs)
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/lib.sh

form=--long
if [ "${1:-}" = --short ]; then
    form=""
fi
zub_bench_build "remote-abuse changer-sim" "zubcd"
abuse=$ZUB_BUILD/native/remote-abuse
status=0

echo "### native server (in process)"
echo
"$abuse" --self $form || status=1
echo
echo "### zubcd.exe under Wine"
echo
source bench/remote_wine_program.sh
program_up network-abuse || exit 1

handles_now() { probe handles "$MAIN_TITLE"; }
handles_steady() {
    local first
    first=$(handles_now) && [ "$first" = "$(handles_now)" ]
}
handles_back() { (($(handles_now | awk '{ print $2 }') <= $1)); }

# A first pass in the short form lets the program and its runtime create
# what they create once, on first use (two handles under Wine 8); the
# counted pass must leave the counts where the first left them.
"$abuse" --port 4239 >"$ZUB_RUN_DIR/first-pass.md" || status=1
wait_until 30 "the handle count to settle" handles_steady >&2 || status=1
before=$(handles_now)
"$abuse" --port 4239 --pid "$ZUB_EXE_PID" $form || status=1
limit=$(awk '{ print $2 }' <<<"$before")
verdict=ok
if ! wait_until 30 "the handle count to come back" handles_back "$limit" >&2; then
    verdict=FAILED
    status=1
fi
after=$(handles_now)
echo
echo "Windows handles and threads of zubcd.exe (probe): $before before, $after after: $verdict"
if xdotool search --onlyvisible --name '^Error' >/dev/null 2>&1; then
    echo "error boxes: at least one was raised: FAILED"
    status=1
else
    echo "error boxes: none"
fi
program_down
exit "$status"

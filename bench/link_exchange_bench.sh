#!/usr/bin/env bash
# Our cost per status exchange, natively over a pty and for the program's
# Win32 serial backend under Wine, each beside the time the same bytes need
# on a 9600-baud line. The simulated changer is unpaced, so only our side of
# the exchange is timed. Runs at real-time priority where allowed, so that
# the machine's other work does not add its scheduling delays.
#
# bench/link_exchange_bench.sh [NATIVE_EXCHANGES [WINE_EXCHANGES]]
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/lib.sh

native_exchanges=${1:-2000}
wine_exchanges=${2:-500}
zub_bench_build "link-exchange-bench changer-sim" "link-exchange-bench"

priority=()
if chrt -f 10 true 2>/dev/null; then
    priority=(chrt -f 10)
else
    echo "(normal priority: the figures include the scheduling delays of a busy machine)"
fi

# A prefix of its own, so a test run cannot stop this one's wineserver.
ZUB_WINEPREFIX=${ZUB_WINEPREFIX:-$ZUB_BUILD/wineprefix-bench}
ZUB_RUN_DIR=$ZUB_BUILD/bench-run/link-exchange
source tools/wine/harness.sh
trap harness_teardown EXIT

echo "== native: $native_exchanges status exchanges over a pty"
"${priority[@]}" "$ZUB_BUILD/native/link-exchange-bench" "$native_exchanges"

echo
echo "== Win32 backend under Wine: $wine_exchanges status exchanges on COM1"
wine_prefix_init >&2
start_sim >&2
if ((${#priority[@]} > 0)); then
    chrt -a -f -p 10 "$ZUB_SIM_PID" >/dev/null
fi
out=$ZUB_RUN_DIR/wine-bench.out
# Through a file: a wineserver started here must not inherit our pipe.
status=0
"${priority[@]}" timeout 600 wine "$ZUB_BUILD/win/link-exchange-bench.exe" "$wine_exchanges" </dev/null \
    >"$out" 2>"$ZUB_RUN_DIR/wine-bench.err" || status=$?
tr -d '\r' <"$out"
if ((status != 0)); then
    zub_warn "the Wine run failed ($status); see $ZUB_RUN_DIR/wine-bench.err"
    exit "$status"
fi

#!/usr/bin/env bash
# The line benchmarks, one after the other (about 4 minutes): the cost of a
# status exchange natively and under Wine, the magazine scan at line speed,
# and the status poll's period natively and under Wine.
#
# bench/run_line_benches.sh [POLLS]
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/lib.sh

zub_build native -- link-exchange-bench scan-line-speed-bench poll-period-bench changer-sim >&2
zub_build win -- link-exchange-bench zubcd >&2
export ZUB_BENCH_NO_BUILD=1

start=$SECONDS
echo "load average at the start: $(cut -d ' ' -f 1-3 /proc/loadavg)"
echo
echo "######## status exchange cost"
bench/link_exchange_bench.sh
echo
echo "######## magazine scan at line speed"
bench/scan_line_speed.sh
echo
echo "######## status poll period"
bench/poll_period.sh "${1:-100}"
echo
echo "line benchmarks done in $((SECONDS - start)) s"

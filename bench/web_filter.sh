#!/usr/bin/env bash
# The disc list's filter of zubweb over 400 discs of 20 named tracks (four
# stand-in controllers on loopback ports, natively), beside the plain disc
# lists in the same run, over TRIALS filters (200 by default, a few
# seconds). Target: the filter answers within 50 ms at the 99th percentile.
#
# bench/web_filter.sh [TRIALS]
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/lib.sh

zub_bench_build "web-filter-bench"
"$ZUB_BUILD/native/web-filter-bench" --trials "${1:-200}"

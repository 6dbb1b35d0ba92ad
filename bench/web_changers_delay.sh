#!/usr/bin/env bash
# Web event delay with two changers beside one changer, in one run, over
# TRIALS changes (60 by default, about 1.5 minutes): from the controller's
# poll showing a new disc to an event stream client of zubweb seeing it.
# The controllers are stand-ins on loopback ports, natively. Target: two
# changers add at most 5 ms at the median.
#
# bench/web_changers_delay.sh [TRIALS]
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/lib.sh

zub_bench_build "web-changers-delay-bench"
"$ZUB_BUILD/native/web-changers-delay-bench" --trials "${1:-60}"

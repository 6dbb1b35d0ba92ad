#!/usr/bin/env bash
# Web event delay over TRIALS play requests (60 by default, about 1.5
# minutes): from the changer taking PLAY to an event stream client of
# zubweb seeing the new disc and track, beside the controller's poll period
# measured in the same run (target: under one period plus 100 ms). The
# controller's core and zubweb run natively in one process against the
# simulator paced as a 9600-baud line.
#
# bench/web_event_delay.sh [TRIALS]
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/lib.sh

zub_bench_build "web-event-delay-bench"
"$ZUB_BUILD/native/web-event-delay-bench" --trials "${1:-60}"

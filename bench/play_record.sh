#!/usr/bin/env bash
# What counting plays costs the status poll (natively): the play counter's
# step and the recording of a counted play, with an open library and a store
# of 100 discs of 99 named tracks, beside one status poll against the
# simulated changer at 9600 baud measured in the same run, and the poll
# period.
#
# bench/play_record.sh [PLAYS]
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/lib.sh

zub_bench_build "play-record-bench"
"$ZUB_BUILD/native/play-record-bench" --plays "${1:-2000}"

#!/usr/bin/env bash
# Remote benchmark (about 1 minute): REMOTE_POSITION round trips per second
# and p50/p99 latency at 1, 16 and 64 clients, saturated and paced, against
# the native in-process server and against zubcd.exe under Wine with the
# simulated changer; each beside an echo responder of ours (8 bytes back per
# 12 received) as the floor of this machine.
#
# bench/remote_bench.sh [SECONDS per level]   (2 by default)
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/lib.sh

level_seconds=${1:-2}
zub_bench_build "remote-position-bench changer-sim" "zubcd"
bench=$ZUB_BUILD/native/remote-position-bench

echo "### native server (in process)"
echo
"$bench" "$level_seconds"
echo
echo "### zubcd.exe under Wine (native clients over loopback)"
echo
source bench/remote_wine_program.sh
program_up remote-bench
# The program serves far fewer round trips: pace its clients more gently.
"$bench" "$level_seconds" --target 127.0.0.1:4239 --paced 25
program_down

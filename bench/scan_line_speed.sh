#!/usr/bin/env bash
# Magazine scan at line speed, natively over a pty against the simulator
# paced as a 9600-baud line: a full magazine (100 discs of 12 tracks) with no
# mechanical time, beside the line limit, and projected to 3 s per load; then
# 12 discs with 300 ms per load, measured, beside the line limit plus the
# loads. Runs at real-time priority where allowed, so that the machine's
# other work does not add its scheduling delays to every exchange.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/lib.sh

zub_bench_build "scan-line-speed-bench"
bench=$ZUB_BUILD/native/scan-line-speed-bench

priority=()
if chrt -f 10 true 2>/dev/null; then
    priority=(chrt -f 10)
else
    echo "(normal priority: the figures include the scheduling delays of a busy machine)"
fi

echo "== full magazine, no mechanical time (about 45 s)"
"${priority[@]}" "$bench" --discs 100 --tracks 12 --project-load 3000
echo
echo "== 12 discs, 300 ms per load (about 40 s)"
"${priority[@]}" "$bench" --discs 12 --tracks 12 --load-delay 300 --project-load 3000

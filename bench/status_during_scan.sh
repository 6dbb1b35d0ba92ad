#!/usr/bin/env bash
# Status reply latency during a scan (about 15 s): median and p99 of the
# remote status reply while a magazine scan holds the serial line and a
# Next waits for it, beside the same requests with the changer idle, in one
# run, natively. Target: p99 during the scan under 50 ms.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/lib.sh

zub_bench_build "status-during-scan-bench"
"$ZUB_BUILD/native/status-during-scan-bench" "$@"

#!/usr/bin/env bash
# The remembered magazine. Natively: opening a 100-slot library and filling
# the table and the disc list, beside a full scan at 9600 baud and 6 s per
# load (the first slots measured, projected to 100); the first-load check
# beside the wire time of its one exchange. Under Wine: zubcd.exe started
# on a 100-slot library, from start to the window and from the window to a
# full disc list (target: within 1 s of the window).
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/lib.sh

zub_bench_build "library-bench changer-sim" "zubcd"
bench=$ZUB_BUILD/native/library-bench

priority=()
if chrt -f 10 true 2>/dev/null; then
    priority=(chrt -f 10)
fi
echo "== natively (about 10 s)"
"${priority[@]}" "$bench" --slots 8 --load-ms 6000

echo
echo "== zubcd.exe under Wine, on a library of 100 discs of 99 tracks"
ZUB_SIM=${ZUB_SIM:-$ZUB_BUILD/native/tools/changer-sim/changer-sim}
ZUB_WIN_EXE=${ZUB_WIN_EXE:-$ZUB_BUILD/win/zubcd.exe}
source bench/remote_wine_program.sh
ZUB_RUN_DIR=$ZUB_BUILD/bench-run/library
rm -rf "$ZUB_RUN_DIR"
mkdir -p "$ZUB_RUN_DIR/work"
cp demo/zub.txt "$ZUB_RUN_DIR/work/"
"$bench" --write "$ZUB_RUN_DIR/work/zubcd.db"
trap harness_teardown EXIT
wine_prefix_init >&2 && probe_build >&2
ZUB_PRIVATE_DISPLAY=1
use_display >&2
start_sim --magazine demo/magazine.txt >&2

now_ms() { date +%s%3N; }
full_list() { [ "$(probe rows "$MAIN_TITLE" "$IDC_DISCLIST" | grep -c ZUB)" = 100 ]; }
started=$(now_ms)
start_exe "$ZUB_RUN_DIR/work" >&2
until window_exists "$MAIN_TITLE"; do
    sleep 0.02
done
shown=$(now_ms)
until full_list; do
    sleep 0.02
done
full=$(now_ms)
printf '%-44s %10s %14s\n' figure ours reference
printf '%-44s %9.3fs %13s\n' "start to window" "$(bc -l <<<"($shown - $started) / 1000")" "-"
printf '%-44s %9.3fs %13.3fs\n' "window to a full disc list (one probe read)" \
    "$(bc -l <<<"($full - $shown) / 1000")" 1

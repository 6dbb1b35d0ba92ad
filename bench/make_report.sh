#!/usr/bin/env bash
# Runs the reliability and performance scenarios that exist (network abuse,
# remote benchmark, line benchmarks, short fuzzing) and writes their figures
# as one markdown report, docs/reliability-report.md by default. A missing
# runner is skipped with a note. Takes about 10 minutes.
#
# bench/make_report.sh [--quick] [-o FILE]
#   --quick  the short abuse form and 1 s benchmark levels (a few minutes less)
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
source tools/lib.sh

out=docs/reliability-report.md
quick=0
while (($# > 0)); do
    case $1 in
        --quick) quick=1 ;;
        -o)
            out=$2
            shift
            ;;
        *)
            echo "usage: bench/make_report.sh [--quick] [-o FILE]" >&2
            exit 2
            ;;
    esac
    shift
done

logs=$ZUB_BUILD/report-logs
rm -rf "$logs"
mkdir -p "$logs"
body=$logs/body.md
summary=$logs/summary.md
: >"$body"
: >"$summary"
failures=0

# shellcheck disable=SC2016  # the backquotes in printf formats are markdown
# section TITLE FENCE INTRO COMMAND...: runs COMMAND, adds its output under
# TITLE (inside a code fence when FENCE is 1) and a row to the summary.
section() {
    local title=$1 fence=$2 intro=$3
    shift 3
    local runner=$1 name
    name=$(basename "$runner" .sh)
    if [ ! -x "$runner" ] && [ ! -f "$runner" ]; then
        zub_say "$title: $runner is not there, skipped"
        printf '| %s | `%s` | skipped: not present | |\n' "$title" "$*" >>"$summary"
        return 0
    fi
    zub_say "$title: $*"
    local start=$SECONDS status=0
    bash "$@" >"$logs/$name.out" 2>"$logs/$name.err" || status=$?
    local took=$((SECONDS - start)) result=ok
    if ((status != 0)); then
        result="FAILED (exit $status)"
        failures=$((failures + 1))
    fi
    printf '| %s | `%s` | %s | %dm%02ds |\n' "$title" "$*" "$result" $((took / 60)) \
        $((took % 60)) >>"$summary"
    {
        echo "## $title"
        echo
        echo "$intro"
        echo
        echo "Command: \`$*\` ($result, $((took / 60))m$(printf '%02d' $((took % 60)))s)."
        echo
        ((fence)) && echo '```'
        # Blank runs squeezed; progress lines of the harness stay in the log.
        grep -v '^\[[0-9:]*\] ' "$logs/$name.out" | cat -s
        ((fence)) && echo '```'
        if ((status != 0)); then
            echo
            echo "Last lines of its error output:"
            echo
            echo '```'
            tail -n 15 "$logs/$name.err"
            echo '```'
        fi
        echo
    } >>"$body"
}

abuse_args=()
bench_args=()
if ((quick)); then
    abuse_args=(--short)
    bench_args=(1)
fi
load_at_start=$(cut -d ' ' -f 1-3 /proc/loadavg)
started=$(date -u '+%Y-%m-%d %H:%M UTC')

section "Network abuse" 0 \
    "Loopback only; every loop is bounded. *many*: 64 clients connected one at a time (the listen
backlog is 5) and all served, a 65th left waiting until one leaves. *resets*: connect, then a round
trip, an unread request, nothing or half a request, then a reset; a long-lived client checks the
server every 250 cycles. *random*: chunks of 1-200 random bytes, half starting with a query command,
then a half-close that the server must answer by closing. *split*: a position request sent in two
parts split at a random byte, on a connection each: exactly one reply. *noread*: clients send info
requests and never read until the server stops reading them (its session waits in send); meanwhile
fresh clients are served. After each scenario the server must answer a fresh client and the
server process's open descriptors (/proc/PID/fd) and threads (/proc/PID/task) must come back to
their baseline; for zubcd.exe the count is taken of the Wine process running it, and its Windows
handles are counted by the probe from the system handle table, before and after the counted pass
(which follows a first, short pass that lets the runtime create its one-off objects)." \
    bench/network_abuse.sh "${abuse_args[@]}"

section "Remote benchmark" 0 \
    "REMOTE_POSITION round trips from native clients over loopback. Saturated rows: every client sends
its next request as soon as its reply is in, so the mean latency is clients / rate (Little's law)
whatever the server does. Paced row: every client sends at a fixed rate. The echo responder is
ours: one blocking thread per connection returning 8 bytes per 12 received, the floor of this
machine; ratios are server / echo. The target is a p99 under 1 ms at 64 clients natively." \
    bench/remote_bench.sh "${bench_args[@]}"

section "Line benchmarks" 1 \
    "The serial side: the cost of a status exchange, the magazine scan at line speed and the status
poll's period, natively and under Wine." \
    bench/run_line_benches.sh

section "Remembered magazine" 1 \
    "Start-up from the library zubcd.db: a 100-slot library (99 tracks each) opened and shown,
natively and as zubcd.exe under Wine (from the window to a full disc list, target 1 s), beside the
full scan it saves at 9600 baud and 6 s per load (the first slots measured, projected to 100); the
first-load check of a remembered disc beside the wire time of the one exchange it adds (target:
under 1 ms beyond it)." \
    bench/library_start.sh

section "Web event delay" 1 \
    "zubweb's event stream: from the simulated changer taking PLAY to an event stream client seeing
the new disc and track, split into the wait for the controller's next status poll and what zubweb
adds, beside the poll period measured in the same run." \
    bench/web_event_delay.sh

section "Status during a scan" 1 \
    "The remote status reply while a magazine scan holds the serial line and a Next waits for it
(holding the playlist), beside the same requests with the changer idle, in one run: the
in-process remote server over loopback, the scan over a pty against the simulator paced as a
9600-baud line with mechanical time per load. The target is a p99 under 50 ms during the scan." \
    bench/status_during_scan.sh

section "Fuzzing (short form)" 1 \
    "Every corpus input replayed, then each libFuzzer target fuzzed for a short while under
AddressSanitizer and UndefinedBehaviorSanitizer." \
    tests/fuzz/run_fuzz.sh --short

commit=$(git rev-parse --short HEAD 2>/dev/null || echo unknown)
if [ -n "$(git status --porcelain --untracked-files=no 2>/dev/null)" ]; then
    commit="$commit (the working tree had uncommitted changes)"
fi
cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
memory=$(awk '/^MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo)
mkdir -p "$(dirname "$out")"
# The soak run takes hours, so it is not run here: its section
# (bench/soak_report.sh), always the last, is kept as it is.
soak_section=""
if [ -f "$out" ]; then
    soak_section=$(sed -n '/^## Soak run$/,$p' "$out")
fi
{
    echo "# Reliability and performance report"
    echo
    echo "Generated by \`bench/make_report.sh$( ((quick)) && echo ' --quick')\`; do not edit by hand."
    echo
    echo "| | |"
    echo "|---|---|"
    echo "| date | $started |"
    echo "| commit | $commit |"
    echo "| machine | $(nproc) cores, ${cpu:-unknown CPU}, $memory |"
    echo "| system | $(uname -sr), $(wine --version 2>/dev/null || echo 'no Wine') |"
    echo "| load average at the start | $load_at_start (the machine may be shared: figures vary between runs) |"
    echo
    echo "| scenarios | command | result | time |"
    echo "|---|---|---|---|"
    cat "$summary"
    echo
    cat "$body"
    if [ -n "$soak_section" ]; then
        echo
        printf '%s\n' "$soak_section"
    fi
} >"$out"
zub_say "report written to $out ($(wc -l <"$out") lines); logs in $logs"
((failures == 0))

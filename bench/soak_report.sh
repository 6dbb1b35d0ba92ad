#!/usr/bin/env bash
# Puts a soak run's figures (bench/soak.sh) into the reliability report: the
# section "## Soak run", always the report's last, is replaced (or added)
# with the summary table, the faults by kind and the plot, which is copied
# beside the report as soak.png. bench/make_report.sh keeps this section.
#
# bench/soak_report.sh DIR REPORT COMMAND [NOTE]   (NOTE: a sentence on the run, e.g. the load)
set -euo pipefail
dir=${1:?usage: bench/soak_report.sh DIR REPORT COMMAND}
report=${2:?usage: bench/soak_report.sh DIR REPORT COMMAND}
command=${3:?usage: bench/soak_report.sh DIR REPORT COMMAND}
note=${4:-}
[ -s "$dir/soak-summary.md" ] || {
    echo "soak_report: no $dir/soak-summary.md" >&2
    exit 1
}
picture=$(dirname "$report")/soak.png
if [ -s "$dir/soak.png" ]; then
    cp "$dir/soak.png" "$picture"
fi
cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
section=$(mktemp)
trap 'rm -f "$section"' EXIT
{
    echo "## Soak run"
    echo
    echo "\`$command\`, finished $(date -u '+%Y-%m-%d %H:%M UTC') on $(nproc) cores (${cpu:-unknown CPU}),"
    echo "load average at the end $(cut -d' ' -f1-3 /proc/loadavg) (the machine may be shared)."
    echo "zubcd.exe under $(wine --version 2>/dev/null || echo Wine) plays the shuffled playlist of the"
    echo "scanned demo magazine against the simulator at play-clock speed 60; zubweb serves two"
    echo "event-stream clients, \`zubremote status\` asks every 3 s, remote clients come, idle, send"
    echo "random bytes and go. One fault at a time at random: the changer silent, garbage, over-long"
    echo "or late replies, loader errors (each for 5 to 60 s), unplugged for 5 to 60 s (its pty closes)"
    echo "and back as a freshly started changer on the same COM1 link or on a new pty, a disc removed"
    echo "or put back. Handles, threads and memory are counted every 30 s with no random client"
    echo "connected."
    if [ -n "$note" ]; then
        echo
        echo "$note"
    fi
    echo
    cat "$dir/soak-summary.md"
    echo
    echo "| Fault | Count | First poll after the changer answered (max) | Next track start after it (max) |"
    echo "|---|---|---|---|"
    awk -F, 'NR > 1 {
            count[$2]++
            if ($9 != "" && $9 > poll[$2]) poll[$2] = $9
            if ($10 != "" && $10 > track[$2]) track[$2] = $10
        }
        END { for (k in count) printf "| %s | %d | %.2f s | %.1f s |\n", k, count[k], poll[k], track[k] }' \
        "$dir/soak-faults.csv" | sort
    echo
    if [ -s "$picture" ]; then
        echo "![Poll intervals, track starts, handles, threads and memory over the soak run, faults marked](soak.png)"
        echo
    fi
} >"$section"
if [ -f "$report" ]; then
    kept=$(mktemp)
    sed '/^## Soak run$/,$d' "$report" >"$kept"
    { cat "$kept"; cat "$section"; } >"$report"
    rm -f "$kept"
else
    cp "$section" "$report"
fi
echo "soak_report: $report"

#!/usr/bin/env bash
# Draws a soak run's figures (bench/soak.sh) with gnuplot into DIR/soak.png:
# the poll intervals, the track starts, zubcd.exe's handles and threads, and
# the memory of zubcd.exe and zubweb over the run, each fault marked by a
# line at its start.
#
# bench/soak_plot.sh DIR [PNG]
set -euo pipefail
dir=${1:?usage: bench/soak_plot.sh DIR [PNG]}
png=${2:-$dir/soak.png}
for file in soak.csv soak-polls.csv soak-faults.csv; do
    [ -f "$dir/$file" ] || {
        echo "soak_plot: no $dir/$file" >&2
        exit 1
    }
done

# One grey line per fault, at its start (minutes).
marks=$(awk -F, 'NR > 1 && $4 != "" {
    printf "set arrow from %f, graph 0 to %f, graph 1 nohead lc rgb \"#c0c0c0\" dt 2\n", $4 / 60, $4 / 60 }' \
    "$dir/soak-faults.csv")
faults=$(awk -F, 'NR > 1' "$dir/soak-faults.csv" | wc -l)
minutes=$(awk -F, 'NR > 1 { t = $1 } END { printf "%.2f", t / 60 }' "$dir/soak.csv")

gnuplot <<EOF
set terminal pngcairo size 1100,1200 font "sans,10"
set output "$png"
set datafile separator comma
set datafile missing "NaN"
set key top left opaque
set grid ytics
set lmargin 12
set xrange [0:$minutes]
set multiplot layout 4,1 title "Soak run: $faults faults (grey lines); time in minutes (play clock x60: 24 min = one simulated day)"
$marks
set ylabel "poll interval (s)"
set logscale y
plot "$dir/soak-polls.csv" every ::1 using (\$1/60):2 with points pt 7 ps 0.3 lc rgb "#1f77b4" title "between two status polls"
unset logscale y
set ylabel "track starts"
plot "$dir/soak.csv" every ::1 using (\$1/60):6 with lines lw 2 lc rgb "#2ca02c" title "track starts (total)"
# The counts and memory lie far above and below their panels' middle: the
# key goes there, clear of the data.
set key center left
set ylabel "count"
plot "$dir/soak.csv" every ::1 using (\$1/60):8 with linespoints pt 7 ps 0.4 lc rgb "#d62728" title "zubcd.exe handles", \
     "" every ::1 using (\$1/60):9 with linespoints pt 7 ps 0.4 lc rgb "#9467bd" title "zubcd.exe threads", \
     "" every ::1 using (\$1/60):13 with lines lc rgb "#8c564b" title "zubweb descriptors"
set ylabel "memory (MB)"
set xlabel "minutes"
plot "$dir/soak.csv" every ::1 using (\$1/60):(\$10/1024) with linespoints pt 7 ps 0.4 lc rgb "#ff7f0e" title "zubcd.exe private", \
     "" every ::1 using (\$1/60):(\$11/1024) with linespoints pt 7 ps 0.4 lc rgb "#bcbd22" title "zubcd.exe resident", \
     "" every ::1 using (\$1/60):(\$12/1024) with lines lc rgb "#17becf" title "zubweb resident"
unset multiplot
EOF
echo "soak_plot: $png"

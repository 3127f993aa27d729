# Energy decay curves written by `orbelune-render --decay-curves` (or the demo),
# plotted into a PNG. Call with:
#   gnuplot -e "datafile='out/demo/decay-curves.dat'; outputfile='out/demo/decay-curves.png'; title='...'" tools/plot-decay.gp
if (!exists("title")) title = "Energy decay curves"
set terminal pngcairo size 1000,600 font "DejaVu Sans,11"
set output outputfile
set datafile missing "?"
set title title
set xlabel "time (s)"
set ylabel "remaining energy (dB)"
set yrange [-80:2]
set grid
set key outside right top
set style line 1 lc rgb "#000000" lw 3
# -5 dB and -35 dB: the range the reverberation time is fitted over.
set arrow from graph 0, first -5 to graph 1, first -5 nohead dt 2 lc rgb "#888888"
set arrow from graph 0, first -35 to graph 1, first -35 nohead dt 2 lc rgb "#888888"
plot for [column=3:9] datafile using 1:column with lines lw 1.5 title columnheader(column), \
     datafile using 1:2 with lines ls 1 title "broadband"

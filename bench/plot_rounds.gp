# Pictures per second of the player's whole path and of the ffmpeg decoder
# over the benchmark's rounds. Call: gnuplot -e "csv='...'; png='...'" plot_rounds.gp
set terminal pngcairo size 900,520 font ",11" noenhanced
set output png
set datafile separator ","
set title "Whole path vs ffmpeg on the same 1920x1080 stream"
set xlabel "round"
set ylabel "pictures per second"
set key outside bottom center horizontal
set grid ytics
set yrange [0:*]
set xtics 1
plot csv using 1:2 skip 1 with linespoints lw 2 pt 7 title "downlink-player path", \
     csv using 1:3 skip 1 with linespoints lw 2 pt 5 title "ffmpeg -threads 1", \
     csv using 1:4 skip 1 with linespoints lw 2 pt 9 title "ffmpeg, default threads"

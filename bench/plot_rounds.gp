# Pictures per second of the player's whole path and of the ffmpeg decoder
# over the benchmark's rounds. Call: gnuplot -e "csv='...'; png='...'" plot_rounds.gp
# The 4-slice stream's two columns, when the CSV has them, are drawn dashed
# in the colours of their single-slice counterparts.
set terminal pngcairo size 900,560 font ",11" noenhanced
set output png
set datafile separator ","
set title "Whole path vs ffmpeg on the same 1920x1080 stream"
set xlabel "round"
set ylabel "pictures per second"
set key outside bottom center horizontal maxrows 2
set grid ytics
set yrange [0:*]
set xtics 1
columns = int(system("head -n 1 '" . csv . "' | awk -F, '{print NF}'"))
if (columns >= 6) {
    set title "Whole path vs ffmpeg on the same 1920x1080 pictures, 1 and 4 slices"
    plot csv using 1:2 skip 1 with linespoints lw 2 lc 1 pt 7 title "downlink-player path", \
         csv using 1:3 skip 1 with linespoints lw 2 lc 2 pt 5 title "ffmpeg -threads 1", \
         csv using 1:4 skip 1 with linespoints lw 2 lc 3 pt 9 title "ffmpeg, default threads", \
         csv using 1:5 skip 1 with linespoints lw 2 lc 1 dt 2 pt 6 title "downlink-player path, 4 slices", \
         csv using 1:6 skip 1 with linespoints lw 2 lc 2 dt 2 pt 4 title "ffmpeg -threads 1, 4 slices"
} else {
    plot csv using 1:2 skip 1 with linespoints lw 2 lc 1 pt 7 title "downlink-player path", \
         csv using 1:3 skip 1 with linespoints lw 2 lc 2 pt 5 title "ffmpeg -threads 1", \
         csv using 1:4 skip 1 with linespoints lw 2 lc 3 pt 9 title "ffmpeg, default threads"
}

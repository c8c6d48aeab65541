#!/usr/bin/env bash
# The tools against the decoder's own speed, as a user would compare them:
# export-recording to .ts, inspect-recording --decode and --report, each
# against the ffmpeg program (-threads 0) decoding the video alone, as
# ffmpeg itself takes it out of the exported .ts (-map 0:v -c copy -f hevc).
# Three recordings: the sample, the same pattern in four slices a picture,
# and with three B-frames, both padded to the link's rate like the sample.
#
# Each tool run is paired with a reference run just before it, so that a
# busy machine slows both sides of a pair alike; a ratio is the reference's
# time over the tool's (the same pictures, so pictures per second of the
# tool over ffmpeg's), and the figure is the median of the pairs' ratios.
#
# For where time goes, ffmpeg on the recording's whole stream as
# inspect-recording --es-output writes it is timed too: its filler and
# telemetry units are read by ffmpeg as damaged slices (about 250 errors on
# the sample), which costs ffmpeg about a tenth more and made the tools look
# faster than they are against it.
#   usage: tools_speed.sh BUILD_DIR [ROUNDS]
set -euo pipefail

build=$(realpath "$1")
rounds=${2:-5}
here=$(cd "$(dirname "$0")/.." && pwd)
inspect=$build/programs/inspect/inspect-recording
export_tool=$build/programs/export/export-recording
make_recording=$build/programs/make/make-recording

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

seconds() {  # <command...>: wall-clock seconds of one run
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { print b - a }'
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

reference() { ffmpeg -v error -threads 0 -f hevc -i "$1" -f null -; }
run_export() { rm -f "$work/a.ts" && "$export_tool" --output "$work/a.ts" "$1"; }
run_decode() { "$inspect" -q --decode "$1"; }
run_report() { "$inspect" -q --report "$work/r.png" "$1"; }

declare -A goal=([export]=0.95 [decode]=0.95 [report]=0.90)
declare -A label=([export]="export-recording --output a.ts" [decode]="inspect-recording --decode"
                  [report]="inspect-recording --report r.png")

measure() {  # <name> <recording>
  local name=$1 recording=$2
  local video=$work/$name.video.hevc whole=$work/$name.whole.hevc
  run_export "$recording" >/dev/null 2>&1
  ffmpeg -v error -y -i "$work/a.ts" -map 0:v -c copy -f hevc "$video"
  "$inspect" -q --es-output "$whole" "$recording" >/dev/null
  local pictures
  pictures=$(ffprobe -v error -count_packets -select_streams v -show_entries stream=nb_read_packets -of csv=p=0 "$video")

  # One untimed round warms the file cache.
  reference "$video" >/dev/null 2>&1
  run_decode "$recording" >/dev/null 2>&1
  run_report "$recording" >/dev/null 2>&1
  local -A ratios=() tool=()
  local refs="" wholes="" tool_name ref t
  for _ in $(seq 1 "$rounds"); do
    for tool_name in export decode report; do
      ref=$(seconds reference "$video")
      t=$(seconds "run_$tool_name" "$recording")
      refs+="$ref"$'\n'
      tool[$tool_name]+="$t"$'\n'
      ratios[$tool_name]+="$(awk -v r="$ref" -v t="$t" 'BEGIN { print r / t }')"$'\n'
    done
    wholes+="$(seconds reference "$whole")"$'\n'
  done

  echo "$name: $pictures pictures"
  printf '  %-42s %8.3f s\n' "ffmpeg -threads 0, the video alone (reference)" "$(printf '%s' "$refs" | median)"
  printf '  %-42s %8.3f s  (filler and telemetry as damaged slices)\n' "ffmpeg -threads 0, the recording's whole stream" \
    "$(printf '%s' "$wholes" | median)"
  for tool_name in export decode report; do
    local r
    r=$(printf '%s' "${ratios[$tool_name]}" | median)
    awk -v name="${label[$tool_name]}" -v t="$(printf '%s' "${tool[$tool_name]}" | median)" -v r="$r" \
      -v g="${goal[$tool_name]}" -v lo="$(printf '%s' "${ratios[$tool_name]}" | sort -g | head -1)" \
      -v hi="$(printf '%s' "${ratios[$tool_name]}" | sort -g | tail -1)" \
      'BEGIN { printf "  %-42s %8.3f s  %5.2f of the reference (%.2f to %.2f), goal %.2f: %s\n",
               name, t, r, lo, hi, g, (r >= g ? "met" : "NOT met") }'
  done
}

echo "making the four-slice and B-frame recordings ..." >&2
"$make_recording" -q -o "$work/slices.dat" --slices 4 --pad-rate 480000 >/dev/null
"$make_recording" -q -o "$work/bframes.dat" --bframes 3 --pad-rate 480000 >/dev/null

echo "the tools against ffmpeg decoding the same pictures; median of $rounds pairs, each a reference run and a tool run"
measure sample "$here/samples/downlink-sample.dat"
measure four-slices "$work/slices.dat"
measure b-frames "$work/bframes.dat"

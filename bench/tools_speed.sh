#!/usr/bin/env bash
# The tools against the decoder's own speed, on one recording in one run:
# export-recording to .ts, inspect-recording --decode and --report, each
# against the ffmpeg program decoding the recording's own HEVC stream with
# -threads 0 and with -threads 1. Runs alternate (reference, tool, reference,
# ...) so that a busy machine slows both sides alike; each figure is the
# median of the rounds, and each ratio is pictures per second of the tool
# over pictures per second of ffmpeg.
#   usage: tools_speed.sh BUILD_DIR RECORDING [ROUNDS]
set -euo pipefail

build=$(realpath "$1")
recording=$(realpath "$2")
rounds=${3:-7}
inspect=$build/programs/inspect/inspect-recording
export_tool=$build/programs/export/export-recording

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$inspect" -q --es-output "$work/stream.hevc" "$recording" >/dev/null

seconds() {  # <command...>: wall-clock seconds of one run
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { print b - a }'
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

declare -A times
run_round() {
  times[ffmpeg0]+="$(seconds ffmpeg -v error -threads 0 -f hevc -i "$work/stream.hevc" -f null -)"$'\n'
  rm -f "$work/a.ts"
  times[export]+="$(seconds "$export_tool" --output "$work/a.ts" "$recording")"$'\n'
  times[ffmpeg1]+="$(seconds ffmpeg -v error -threads 1 -f hevc -i "$work/stream.hevc" -f null -)"$'\n'
  times[decode]+="$(seconds "$inspect" -q --decode "$recording")"$'\n'
  times[report]+="$(seconds "$inspect" -q --report "$work/r.png" "$recording")"$'\n'
}

run_round  # warms the file cache; not counted
times=()
for _ in $(seq 1 "$rounds"); do run_round; done

declare -A med
for key in ffmpeg0 ffmpeg1 export decode report; do
  med[$key]=$(printf '%s' "${times[$key]}" | median)
done

echo "tools against ffmpeg decoding the same stream, median of $rounds rounds"
printf '%-34s %8s %12s %12s\n' "" "seconds" "vs -threads 0" "vs -threads 1"
printf '%-34s %8.3f\n' "ffmpeg -threads 0" "${med[ffmpeg0]}"
printf '%-34s %8.3f\n' "ffmpeg -threads 1" "${med[ffmpeg1]}"
for key in export decode report; do
  case $key in
    export) name="export-recording --output a.ts" ;;
    decode) name="inspect-recording --decode" ;;
    report) name="inspect-recording --report r.png" ;;
  esac
  awk -v name="$name" -v t="${med[$key]}" -v f0="${med[ffmpeg0]}" -v f1="${med[ffmpeg1]}" \
    'BEGIN { printf "%-34s %8.3f %12.2f %12.2f\n", name, t, f0 / t, f1 / t }'
done

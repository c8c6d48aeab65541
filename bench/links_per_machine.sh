#!/usr/bin/env bash
# How many links one machine receives whole. N real downlink-live -q
# processes, without a display, each receive their own downlink-send over
# UDP at the link's pace, for N = 1, 2, ... until one of them misses a
# picture; the largest N at which every process printed every picture's
# line is the answer, with each process's CPU and peak memory.
#
# The recording costs what a camera's does at the link's full rate: 1080p
# of FFmpeg's moving testsrc2 under temporal noise, coded by x265 at the
# bit rate the link leaves for video, then framed by make-recording. A
# plain test pattern decodes several times faster and would flatter N.
#   usage: links_per_machine.sh BUILD_DIR [MAX_N] [SECONDS]
set -euo pipefail

build=$(realpath "$1")
max_links=${2:-12}
seconds=${3:-20}
live=$build/programs/live/downlink-live
send=$build/programs/send/downlink-send
make_recording=$build/programs/make/make-recording

work=$(mktemp -d)
cleanup() {
  pkill -P $$ 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The link carries 480000 payload bytes a second; telemetry, its framing
# and the picture headers leave about 3.5 Mbit/s of it to the video. A
# one-second VBV keeps every second within it, as a camera's encoder must.
video_kbps=3500
echo "making ${seconds} s of 1080p noisy testsrc2 at ${video_kbps} kbit/s with x265 ..." >&2
ffmpeg -v error -f lavfi -i "testsrc2=size=1920x1080:rate=25,noise=alls=10:allf=t+u,format=yuv420p" \
  -t "$seconds" -c:v libx265 -preset veryfast -b:v ${video_kbps}k -maxrate ${video_kbps}k -bufsize ${video_kbps}k \
  -x265-params "keyint=25:min-keyint=25:bframes=0:log-level=error" -f hevc "$work/camera.hevc"
"$make_recording" -q -i "$work/camera.hevc" --pad-rate 480000 -o "$work/link.dat" >/dev/null
pictures=$(ffprobe -v error -count_packets -select_streams v -show_entries stream=nb_read_packets -of csv=p=0 \
  "$work/camera.hevc")
bytes=$(stat -c %s "$work/link.dat")
echo "recording: $pictures pictures, $bytes bytes ($(awk -v b="$bytes" -v s="$seconds" 'BEGIN { printf "%.0f", b / s }') B/s for ${seconds} s of video)" >&2

port_bound() {  # <port>: whether a UDP socket is bound to it
  grep -qi ":$(printf '%04X' "$1") " /proc/net/udp /proc/net/udp6 2>/dev/null
}

cpu_ticks() {  # <pid>: user + system clock ticks
  awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/$1/stat"
}

# Runs n links at once; prints one line per process:
# "<lines> <cpu % of a core> <peak resident MB>".
run_links() {
  local n=$1 base=$((20000 + RANDOM % 30000)) i
  local -a lives=() senders=()
  for ((i = 0; i < n; i++)); do
    env -u DISPLAY -u WAYLAND_DISPLAY "$live" -q "udp://127.0.0.1:$((base + i))" \
      >"$work/lines.$i" 2>"$work/err.$i" &
    lives+=($!)
  done
  for ((i = 0; i < n; i++)); do
    for _ in $(seq 1 500); do port_bound $((base + i)) && break; sleep 0.01; done
  done
  local start
  start=$(date +%s.%N)
  for ((i = 0; i < n; i++)); do
    "$send" "$work/link.dat" "udp://127.0.0.1:$((base + i))" 2>"$work/send.$i" &
    senders+=($!)
  done
  wait "${senders[@]}"
  # The last pictures leave the pipelines within a second of the last byte;
  # a process that fell behind has discarded, not queued, what it missed.
  local total=-1 now
  while :; do
    sleep 1.5
    now=$(cat "$work"/lines.* | wc -l)
    [ "$now" = "$total" ] && break
    total=$now
  done
  local end
  end=$(date +%s.%N)
  local hz
  hz=$(getconf CLK_TCK)
  for ((i = 0; i < n; i++)); do
    local pid=${lives[$i]} ticks hwm
    ticks=$(cpu_ticks "$pid")
    hwm=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status")
    # The telemetry lines; the console's first line is the player's own
    # start-up line.
    echo "$(grep -c ',video:' "$work/lines.$i") $(awk -v t="$ticks" -v hz="$hz" -v a="$start" -v b="$end" \
      'BEGIN { printf "%.1f", 100 * t / hz / (b - a) }') $((hwm / 1024))"
  done
  for pid in "${lives[@]}"; do kill -INT "$pid"; done
  wait "${lives[@]}" 2>/dev/null || true
}

cores=$(nproc)
best=0
best_cpu=
echo "links  every picture  lines per process             CPU % of a core per process   peak MB per process"
for ((n = 1; n <= max_links; n++)); do
  results=$(run_links "$n")
  lines=$(awk '{ printf "%s ", $1 }' <<<"$results")
  cpu=$(awk '{ printf "%s ", $2 }' <<<"$results")
  mem=$(awk '{ printf "%s ", $3 }' <<<"$results")
  whole=yes
  awk -v p="$pictures" '$1 != p { bad = 1 } END { exit bad }' <<<"$results" || whole=no
  printf '%5d  %13s  %-29s %-29s %s\n' "$n" "$whole" "$lines" "$cpu" "$mem"
  [ "$whole" = yes ] || break
  best=$n
  best_cpu=$cpu
done

echo
echo "largest number of links received whole on this machine ($cores cores): $best"
if [ "$best" -gt 0 ]; then
  # Each link decodes on its own threads, so the count grows with the
  # cores as long as decoding is what limits it; the CPU figure alone would
  # promise more, since key pictures come in bursts that must not queue.
  awk -v cpu="$best_cpu" -v n="$best" -v cores="$cores" 'BEGIN {
    split(cpu, c, " "); sum = 0; for (i = 1; i <= n; i++) sum += c[i];
    per = sum / n;
    printf "one link takes %.0f %% of a core on average; %d links on %d cores is %.1f a core: about %.0f on 4 cores, %.0f on 8\n",
      per, n, cores, n / cores, 4 * n / cores, 8 * n / cores }'
fi

#!/usr/bin/env bash
# Builds the Release benchmarks and runs them all; their figures go to
# docs/bench/: the micro-benchmarks, the whole-path comparison with ffmpeg
# on the single-slice stream and on the same pictures in 4 slices (under Xvfb
# when there is no display, so the window's cost is measured),
# the player's peak memory on the sample, the tools against ffmpeg's own
# decoding speed, downlink-live's latency over loopback UDP, the links one
# machine receives whole with real downlink-live processes, downlink-view's
# index, seeks and playing on a 2-hour 1080p recording, and a plot of
# pictures per second.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
if ! command -v gnuplot >/dev/null; then
  if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends gnuplot-nox
fi

build=${BUILD_DIR:-build-bench}
out=docs/bench
# Tests are not needed here; leaving them out keeps the build short.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DDLP_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target dlp-micro-bench dlp-whole-path-bench downlink-player \
  inspect-recording export-recording make-recording dlp-live-latency-bench downlink-live downlink-send \
  dlp-view-bench
mkdir -p "$out"

with_display() {
  if [ -n "${DISPLAY:-}" ]; then "$@"; else xvfb-run -a -s "-screen 0 1920x1200x24" "$@"; fi
}

{
  echo "# $(date -u +%Y-%m-%d) on $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GB", $2 / 1048576}' /proc/meminfo) RAM"
  echo "# $(ffmpeg -version | head -1)"
} >"$out/machine.txt"

"$build/bench/dlp-micro-bench" --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
  --benchmark_counters_tabular=true 2>&1 | tee "$out/micro.txt"

with_display "$build/bench/dlp-whole-path-bench" --rounds "${ROUNDS:-9}" \
  --rounds-csv "$out/rounds.csv" | tee "$out/whole-path.txt"

{
  bash bench/peak_rss.sh "$build/app/downlink-player" samples/downlink-sample.dat offscreen
  with_display bash bench/peak_rss.sh "$build/app/downlink-player" samples/downlink-sample.dat window
} | tee "$out/peak-rss.txt"

bash bench/tools_speed.sh "$build" | tee "$out/tools-speed.txt"

"$build/bench/dlp-live-latency-bench" | tee "$out/live-latency.txt"

bash bench/links_per_machine.sh "$build" | tee "$out/links-per-machine.txt"

# 3.7 GB in /tmp while it runs.
"$build/bench/dlp-view-bench" /tmp | tee "$out/view.txt"

gnuplot -e "csv='$out/rounds.csv'; png='$out/pictures-per-second.png'" bench/plot_rounds.gp
echo "figures written to $out/" >&2

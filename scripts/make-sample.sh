#!/usr/bin/env bash
# Makes samples/downlink-sample.dat again: 10 s of the 1920x1080 test pattern
# at 25 pictures a second with the generated flight path, padded with filler
# units to the 480000 bytes a second that the player's fixed pace replays, so
# that it plays at its natural rate.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target make-recording inspect-recording

mkdir -p samples
"$build/programs/make/make-recording" \
  --output samples/downlink-sample.dat \
  --size 1920x1080 --frames 250 --fps 25 --pad-rate 480000
"$build/programs/inspect/inspect-recording" --decode samples/downlink-sample.dat

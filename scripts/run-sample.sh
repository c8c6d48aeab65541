#!/usr/bin/env bash
# Builds the player and plays the bundled sample recording. The player reads
# the fixed path E:/Morrigat/Vessik/Quillmar/1080vi1.dat, relative to its
# working folder on Linux, so the sample is put there in out/sample-run.
# Ctrl+C ends it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target downlink-player >&2

run=out/sample-run
mkdir -p "$run/E:/Morrigat/Vessik/Quillmar"
cp samples/downlink-sample.dat "$run/E:/Morrigat/Vessik/Quillmar/1080vi1.dat"
cd "$run"
exec ../../build/app/downlink-player

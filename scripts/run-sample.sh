#!/usr/bin/env bash
# Builds the player and plays the bundled sample recording through
# downlink-play, which links it to the player's fixed path in a temporary
# folder. Ctrl+C ends it. Standard output holds only what the player prints:
# the set-up's own output goes to standard error.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh >&2
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target downlink-player downlink-play >&2
exec build/app/downlink-play samples/downlink-sample.dat

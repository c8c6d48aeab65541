#!/usr/bin/env bash
# The normal build and its tests. The window tests need an X server, so
# CTest runs inside one.
set -euo pipefail
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)"
xvfb-run -a -s "-screen 0 1920x1200x24" \
  ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --timeout 600

#!/usr/bin/env bash
# A bounded fuzz run: each libFuzzer target for a fixed time from seeds made
# by encoding real pictures, in a clang build with ASan and UBSan. Any crash,
# leak, timeout or broken invariant fails the stage, and the input that found
# it is kept in fuzz/regressions/<target>/ for fuzz_regressions_test to replay.
set -euo pipefail
build=${FUZZ_BUILD_DIR:-build-fuzz}
supp=$(pwd)/tests/robustness/sanitizers

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DDLP_BUILD_FUZZERS=ON -DDLP_BUILD_TESTS=OFF -DDLP_BUILD_TOOLS=ON \
  -DDLP_BUILD_BENCHMARKS=OFF -DDLP_SANITIZE=address,undefined >/dev/null
cmake --build "$build" -j2 --target fuzz_targets

export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:fast_unwind_on_malloc=0"
export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"

seeds=$build/fuzz-seeds
rm -rf "$seeds"
"$build/fuzz/make_fuzz_seeds" "$seeds"

# More seeds from the project's own recording tool, as built by the normal
# build of stage 10: a clean recording, an impaired one and one of several
# slices a picture, with the elementary streams they frame. The link
# parser's harness takes a control byte first.
make_recording=${BUILD_DIR:-build}/tools/make_recording/make-recording
if [ -x "$make_recording" ]; then
  "$make_recording" -q -o "$seeds/clean.dat" -s 64x64 -n 4 --keyint 2 --es-output "$seeds/clean.hevc"
  "$make_recording" -q -o "$seeds/impaired.dat" -s 96x64 -n 3 --noise 40 --drop-rate 0.05 \
    --bit-flip-rate 0.001 --jump-rate 0.05 --es-output "$seeds/impaired.hevc"
  # Pictures of several slices with B-frames take the whole-picture path.
  "$make_recording" -q -o "$seeds/slices.dat" -s 64x128 -n 4 --keyint 2 --slices 4 --bframes 2 \
    --es-output "$seeds/slices.hevc"
  for name in clean impaired slices; do
    { printf '\x11'; cat "$seeds/$name.dat"; } >"$seeds/link_parser/recording-$name"
    cp "$seeds/$name.hevc" "$seeds/nal_splitter/recording-$name"
    cp "$seeds/$name.hevc" "$seeds/unit_path/recording-$name"
  done
else
  echo "-- no make-recording in ${BUILD_DIR:-build}; fuzzing from the built-in seeds only" >&2
fi

# target:seconds:max_len:dictionary. The unit path decodes real pictures and
# gets the most time; its per-picture bound lives in its harness.
plan=(link_parser:40:16384:link_frames nal_splitter:50:8192:hevc_units
      unit_path:80:16384:hevc_units)
failed=0
for entry in "${plan[@]}"; do
  IFS=: read -r target seconds max_len dictionary <<<"$entry"
  corpus=$build/fuzz-corpus/$target
  findings=$build/fuzz-findings/$target
  mkdir -p "$corpus" "$findings"
  log=$build/fuzz-$target.log
  status=0
  # The telemetry lines of the unit path go to standard output; libFuzzer
  # reports on standard error.
  "$build/fuzz/${target}_fuzzer" -max_total_time="$seconds" -max_len="$max_len" \
    -timeout=20 -rss_limit_mb=2560 -print_final_stats=1 -artifact_prefix="$findings/" \
    -dict="fuzz/dictionaries/$dictionary.dict" \
    "$corpus" "$seeds/$target" >/dev/null 2>"$log" || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "-- fuzz $target: ${runs:-?} runs in ${seconds} s, status $status" >&2
  if [ "$status" -ne 0 ] || [ -n "$(ls -A "$findings")" ]; then
    failed=1
    tail -n 60 "$log" >&2
    mkdir -p "fuzz/regressions/$target"
    cp "$findings"/* "fuzz/regressions/$target/" 2>/dev/null || true
    echo "-- kept the finding in fuzz/regressions/$target/; commit it with the fix" >&2
  fi
done
exit "$failed"

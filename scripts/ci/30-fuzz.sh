#!/usr/bin/env bash
# A bounded fuzz run: each libFuzzer target of fuzz/targets.txt for its fixed
# time, in a clang build with ASan and UBSan, starting from the kept corpus
# (fuzz/corpus/, grown by scripts/fuzz-campaign.sh) and from seeds made by
# encoding real pictures. Any crash, leak, timeout or broken invariant fails
# the stage, and the input that found it is kept in fuzz/regressions/<target>/
# for fuzz_regressions_test to replay. The kept corpus is only read here.
set -euo pipefail
build=${FUZZ_BUILD_DIR:-build-fuzz}
supp=$(pwd)/tests/robustness/sanitizers
. fuzz/seed_dirs.sh

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DDLP_BUILD_FUZZERS=ON -DDLP_BUILD_TESTS=OFF -DDLP_BUILD_TOOLS=ON \
  -DDLP_BUILD_BENCHMARKS=OFF -DDLP_SANITIZE=address,undefined >/dev/null
cmake --build "$build" -j2 --target fuzz_targets

export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:fast_unwind_on_malloc=0"
export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"

seeds=$build/fuzz-seeds
make_seed_dirs "$build" "$seeds"

failed=0
while read -r target max_len dictionary seconds; do
  # New inputs go to the first folder, a scratch one: the run reads the kept
  # corpus and the seeds and leaves them as they are.
  corpus=$build/fuzz-corpus/$target
  findings=$build/fuzz-findings/$target
  rm -rf "$corpus" "$findings"
  mkdir -p "$corpus" "$findings" "fuzz/corpus/$target"
  log=$build/fuzz-$target.log
  status=0
  # The telemetry lines of the unit path go to standard output; libFuzzer
  # reports on standard error.
  "$build/fuzz/${target}_fuzzer" -max_total_time="$seconds" -max_len="$max_len" \
    -timeout=20 -rss_limit_mb=2560 -print_final_stats=1 -artifact_prefix="$findings/" \
    -dict="fuzz/dictionaries/$dictionary.dict" \
    "$corpus" "fuzz/corpus/$target" "$seeds/$target" >/dev/null 2>"$log" </dev/null || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "-- fuzz $target: ${runs:-?} runs in ${seconds} s, status $status" >&2
  if [ "$status" -ne 0 ] || [ -n "$(ls -A "$findings")" ]; then
    failed=1
    tail -n 60 "$log" >&2
    mkdir -p "fuzz/regressions/$target"
    cp "$findings"/* "fuzz/regressions/$target/" 2>/dev/null || true
    echo "-- kept the finding in fuzz/regressions/$target/; commit it with the fix" >&2
  fi
done < <(fuzz_plan)
exit "$failed"

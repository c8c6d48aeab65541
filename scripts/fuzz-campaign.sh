#!/usr/bin/env bash
# A fuzz campaign: every target of fuzz/targets.txt for SECONDS (default 600),
# two at a time (the machine has two cores), starting from the kept corpus
# and the seeds. Afterwards each target's kept corpus is minimised again with
# what the run found (-merge=1 into a fresh folder, which then replaces
# fuzz/corpus/<target>/), a crashing input is kept in
# fuzz/regressions/<target>/, and a line per target goes to
# docs/fuzzing-totals.csv, so that executions add up over campaigns.
#   scripts/fuzz-campaign.sh [SECONDS] [TARGET[:SECONDS] ...]
#                           only the targets named, each for its own time
#                           when given (in this order, so list the long ones first)
#   FUZZ_JOBS=1 ...         one target at a time, on a busy machine
#   FUZZ_DATE=YYYY-MM-DD    the date written to the totals
set -euo pipefail
seconds=${1:-600}
shift $(($# > 0 ? 1 : 0))
jobs=${FUZZ_JOBS:-2}
build=${FUZZ_BUILD_DIR:-build-fuzz}
supp=$(pwd)/tests/robustness/sanitizers
totals=docs/fuzzing-totals.csv
day=${FUZZ_DATE:-$(date +%F)}
. fuzz/seed_dirs.sh

# "name max_len dictionary seconds" a line: every target, or those asked for.
campaign_plan() {
  if [ $# -eq 0 ]; then
    fuzz_plan | awk -v s="$seconds" '{ print $1, $2, $3, s }'
    return
  fi
  local asked name time line
  for asked in "$@"; do
    name=${asked%%:*}
    time=$seconds
    [ "$name" = "$asked" ] || time=${asked#*:}
    line=$(fuzz_plan | awk -v n="$name" '$1 == n')
    if [ -z "$line" ] || ! [[ $time =~ ^[0-9]+$ ]]; then
      echo "fuzz-campaign: no target '$name' in fuzz/targets.txt, or a bad time in '$asked'" >&2
      exit 1
    fi
    echo "$line" | awk -v s="$time" '{ print $1, $2, $3, s }'
  done
}

plan_text=$(campaign_plan "$@")
mapfile -t plan <<<"$plan_text"

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DDLP_BUILD_FUZZERS=ON -DDLP_BUILD_TESTS=OFF -DDLP_BUILD_TOOLS=ON \
  -DDLP_BUILD_BENCHMARKS=OFF -DDLP_SANITIZE=address,undefined >/dev/null
cmake --build "$build" -j2 --target fuzz_targets >/dev/null

export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:fast_unwind_on_malloc=0"
export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"

work=$build/campaign
seeds=$work/seeds
rm -rf "$work"
mkdir -p "$work"
make_seed_dirs "$build" "$seeds"

# One target's run; its log holds libFuzzer's final statistics.
run_target() {
  local target=$1 max_len=$2 dictionary=$3 seconds=$4 status=0 started=$SECONDS
  mkdir -p "$work/new/$target" "$work/findings/$target" "fuzz/corpus/$target"
  "$build/fuzz/${target}_fuzzer" -max_total_time="$seconds" -max_len="$max_len" \
    -timeout=20 -rss_limit_mb=2560 -print_final_stats=1 -reload=0 \
    -artifact_prefix="$work/findings/$target/" -dict="fuzz/dictionaries/$dictionary.dict" \
    "$work/new/$target" "fuzz/corpus/$target" "$seeds/$target" \
    >/dev/null 2>"$work/$target.log" </dev/null || status=$?
  echo "${status:-0}" >"$work/$target.status"
  # The time it really ran: a finding, or an interrupt, ends it early.
  echo $((SECONDS - started)) >"$work/$target.seconds"
}

echo "-- campaign: ${#plan[@]} targets, $jobs at a time" >&2
running=0
for entry in "${plan[@]}"; do
  read -r target max_len dictionary time <<<"$entry"
  if [ "$running" -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
  run_target "$target" "$max_len" "$dictionary" "$time" &
  running=$((running + 1))
done
wait || true

[ -f "$totals" ] || echo "date,target,seconds,executions,corpus_files,corpus_bytes,coverage,features" >"$totals"
failed=0
printf '%-17s %12s %8s %10s %6s %7s %s\n' target executions files bytes cov ft status
for entry in "${plan[@]}"; do
  read -r target max_len _ _ <<<"$entry"
  time=$(cat "$work/$target.seconds")
  log=$work/$target.log
  status=$(cat "$work/$target.status")
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  # A crash stops the run early; its input is kept and the rest still merges.
  if [ -n "$(ls -A "$work/findings/$target")" ]; then
    failed=1
    mkdir -p "fuzz/regressions/$target"
    cp "$work/findings/$target"/* "fuzz/regressions/$target/"
    grep -m1 -E 'ERROR|invariant broken|SUMMARY' "$log" >&2 || true
    echo "-- $target: kept the finding in fuzz/regressions/$target/; commit it with the fix" >&2
  fi
  # The minimised union of the kept corpus, the new inputs and the seeds, so
  # that the kept corpus reaches on its own what the seeds reach.
  merged=$work/merged/$target
  mkdir -p "$merged"
  "$build/fuzz/${target}_fuzzer" -merge=1 -max_len="$max_len" -timeout=20 -rss_limit_mb=2560 \
    "$merged" "fuzz/corpus/$target" "$work/new/$target" "$seeds/$target" >"$work/$target-merge.log" 2>&1 </dev/null || {
    echo "-- $target: merge failed, kept corpus left as it was (see $work/$target-merge.log)" >&2
    failed=1
    continue
  }
  rm -rf "fuzz/corpus/$target"
  cp -r "$merged" "fuzz/corpus/$target"
  files=$(find "fuzz/corpus/$target" -type f | wc -l)
  bytes=$(du -sb "fuzz/corpus/$target" | cut -f1)
  # The last status line of the run: edges (cov) and features (ft) reached.
  cov=$(grep -oE 'cov: [0-9]+' "$log" | tail -n1 | cut -d' ' -f2)
  ft=$(grep -oE 'ft: [0-9]+' "$log" | tail -n1 | cut -d' ' -f2)
  printf '%-17s %12s %8s %10s %6s %7s %s\n' "$target" "${runs:-0}" "$files" "$bytes" "${cov:-?}" "${ft:-?}" "$status"
  echo "$day,$target,$time,${runs:-0},$files,$bytes,${cov:-},${ft:-}" >>"$totals"
done

echo "-- executions over every campaign so far ($totals):" >&2
awk -F, 'NR > 1 { runs[$2] += $4; secs[$2] += $3 } END { for (t in runs) printf "   %-17s %12d in %d s\n", t, runs[t], secs[t] }' \
  "$totals" | sort >&2
exit "$failed"

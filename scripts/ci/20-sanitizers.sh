#!/usr/bin/env bash
# The test suite again under the sanitizers: every test with AddressSanitizer
# and UndefinedBehaviorSanitizer, and the thread-touching tests (labels
# "threads" and "e2e") with ThreadSanitizer. Every target is instrumented, the
# player included, so the end-to-end tests run a sanitized player. Any finding
# fails the stage. The valgrind test runs in the plain build only: valgrind
# cannot run a sanitized program.
set -euo pipefail
asan_build=${ASAN_BUILD_DIR:-build-asan}
tsan_build=${TSAN_BUILD_DIR:-build-tsan}
jobs=2
supp=$(pwd)/tests/robustness/sanitizers

configure_and_build() {  # <build folder> <sanitizers>
  cmake -S . -B "$1" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDLP_SANITIZE="$2" \
    -DDLP_BUILD_BENCHMARKS=OFF >/dev/null
  cmake --build "$1" -j"$jobs"
}

run_ctest() {  # <build folder> <ctest arguments...>
  local build=$1
  shift
  xvfb-run -a -s "-screen 0 1920x1200x24" \
    ctest --test-dir "$build" --output-on-failure -j"$jobs" --timeout 900 -LE valgrind "$@"
}

timed() {  # <what> <command...>
  local start=$SECONDS
  "$@"
  echo "-- $1 ... took $((SECONDS - start)) s" >&2
}

# Findings inside the uninstrumented libraries (Qt, fontconfig, x265, ...)
# are suppressed by the files named here; our own code has no suppression.
# Those libraries are built without frame pointers, so leak stacks are taken
# with the slow unwinder, or the suppressions would find no library frame.
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=0:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:fast_unwind_on_malloc=0"
export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:suppressions=$supp/ubsan.supp"
export TSAN_OPTIONS="halt_on_error=1:exitcode=66:second_deadlock_stack=1:suppressions=$supp/tsan.supp"

timed configure_and_build "$asan_build" address,undefined
timed run_ctest "$asan_build"

timed configure_and_build "$tsan_build" thread
timed run_ctest "$tsan_build" -L 'threads|e2e'

#!/usr/bin/env bash
# Source-based coverage (clang) of the unit, tool and end-to-end tests plus the
# replay of the kept fuzz corpus (fuzz_regressions_test replays
# fuzz/corpus/ and fuzz/regressions/). Writes an HTML report and prints one
# line per folder of core/, pipeline/, lib/, programs/ and app/. Not part of CI: it builds
# everything again and runs every suite but valgrind.
#   scripts/coverage.sh            report in build-coverage/coverage/index.html
#   COVERAGE_BUILD_DIR=dir ...     another build folder
set -euo pipefail
build=${COVERAGE_BUILD_DIR:-build-coverage}
llvm_version=14
profdata=$(command -v llvm-profdata-$llvm_version || command -v llvm-profdata)
cov=$(command -v llvm-cov-$llvm_version || command -v llvm-cov)
flags="-fprofile-instr-generate -fcoverage-mapping"

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug \
  -DDLP_BUILD_TESTS=ON -DDLP_BUILD_TOOLS=ON -DDLP_BUILD_BENCHMARKS=OFF -DDLP_BUILD_FUZZERS=OFF \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
cmake --build "$build" -j"${JOBS:-2}"

profiles=$build/profiles
rm -rf "$profiles" "$build/coverage"
mkdir -p "$profiles"
# The launcher's tests run it as nobody, who must be able to write its profile.
chmod 1777 "$profiles"
# %p: the end-to-end tests start the player many times; %m keeps binaries apart.
export LLVM_PROFILE_FILE=$(realpath "$profiles")/%p-%m.profraw
status=0
xvfb-run -a -s "-screen 0 1920x1200x24" \
  ctest --test-dir "$build" --output-on-failure -j"${JOBS:-2}" --timeout 900 -LE valgrind || status=$?
[ "$status" -eq 0 ] || echo "-- some tests failed (status $status); the report covers what ran" >&2

"$profdata" merge -sparse -o "$build/coverage.profdata" "$profiles"/*.profraw

# Every instrumented program the tests ran: the player, the tools and the tests.
objects=()
while IFS= read -r program; do
  if [ ${#objects[@]} -eq 0 ]; then objects+=("$program"); else objects+=(-object "$program"); fi
done < <(find "$build" -type f -executable ! -name '*.so*' ! -path '*/CMakeFiles/*' -exec sh -c \
  'head -c4 "$1" | grep -q ELF && echo "$1"' _ {} \; | sort)

sources=("$(pwd)/core" "$(pwd)/pipeline" "$(pwd)/lib" "$(pwd)/programs" "$(pwd)/app")
"$cov" show "${objects[@]}" -instr-profile="$build/coverage.profdata" -format=html \
  -output-dir="$build/coverage" -show-line-counts-or-regions "${sources[@]}" >/dev/null
"$cov" export "${objects[@]}" -instr-profile="$build/coverage.profdata" -summary-only \
  "${sources[@]}" >"$build/coverage-summary.json"
# The lines of core/ and pipeline/ no test or corpus input reached, as file:line: code.
"$cov" show "${objects[@]}" -instr-profile="$build/coverage.profdata" -format=text \
  "$(pwd)/core" "$(pwd)/pipeline" 2>/dev/null | awk -v root="$(pwd)/" '
    /^\/.*:$/ { file = substr($0, 1, length($0) - 1); sub(root, "", file); next }
    /^ *[0-9]+\| *0\|/ { split($0, f, "|"); line = f[1]; gsub(/ /, "", line);
                         code = substr($0, index($0, f[3])); print file ":" line ": " code }
  ' >"$build/pipeline-lines-not-reached.txt"

python3 - "$build/coverage-summary.json" "$(pwd)/" <<'PY'
import collections, json, sys
data = json.load(open(sys.argv[1]))["data"][0]["files"]
root = sys.argv[2]
folders = collections.OrderedDict()
for f in sorted(data, key=lambda f: f["filename"]):
    name = f["filename"].replace(root, "")
    parts = name.split("/")
    folder = "/".join(parts[:2]) if len(parts) > 2 else parts[0]
    s = folders.setdefault(folder, collections.Counter())
    for kind in ("lines", "functions", "branches"):
        s[kind + "_count"] += f["summary"][kind]["count"]
        s[kind + "_covered"] += f["summary"][kind]["covered"]
def pct(s, kind):
    n = s[kind + "_count"]
    return "%5.1f%%" % (100.0 * s[kind + "_covered"] / n) if n else "    -"
print("%-26s %14s %9s %9s" % ("folder", "lines", "functions", "branches"))
for folder, s in folders.items():
    print("%-26s %6d/%-6d %s %9s %9s" % (folder, s["lines_covered"], s["lines_count"], pct(s, "lines"),
                                          pct(s, "functions"), pct(s, "branches")))
PY
echo "-- report: $build/coverage/index.html; pipeline lines not reached: $build/pipeline-lines-not-reached.txt" >&2

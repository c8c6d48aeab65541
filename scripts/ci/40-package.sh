#!/usr/bin/env bash
# The Debian package as a user makes and installs it: built by CPack from the
# normal build of stage 10, checked by lintian (no errors), installed with
# apt-get, the installed sample played through downlink-play without a
# display and stopped with SIGINT, every manual page found, then purged. The
# machine's list of installed packages must be the same afterwards.
set -euo pipefail
build=${BUILD_DIR:-build}
pages=(downlink-player downlink-play downlink-live downlink-view downlink-send make-recording inspect-recording export-recording)
sample=/usr/share/downlink-player/downlink-sample.dat
start=$SECONDS

fail() { echo "40-package: $*" >&2; exit 1; }

if dpkg-query -W -f='${Status}' downlink-player 2>/dev/null | grep -q "ok installed"; then
  fail "downlink-player is installed already; purge it first, this stage installs its own"
fi
before=$(dpkg-query -W -f='${Package} ${Version}\n' | sort)
work=$(mktemp -d)
cleanup() {
  DEBIAN_FRONTEND=noninteractive apt-get purge -y -q downlink-player >&2 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

cmake -S . -B "$build" >/dev/null
rm -f "$build"/downlink-player_*.deb
cmake --build "$build" -j"$(nproc)" --target package >&2
debs=("$build"/downlink-player_*.deb)
[ ${#debs[@]} -eq 1 ] || fail "expected one package, found: ${debs[*]}"
deb=$(realpath "${debs[0]}")

lintian "$deb" >"$work/lintian.txt" 2>&1 || true
cat "$work/lintian.txt" >&2
if grep -q '^E: ' "$work/lintian.txt"; then fail "lintian reports errors"; fi

DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$deb" >&2

# The installed sample, no display, in a TMPDIR of its own to look into.
mkdir "$work/tmp"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM TMPDIR="$work/tmp" \
  downlink-play "$sample" >"$work/out.txt" 2>"$work/err.txt" &
pid=$!
sleep 4
kill -INT "$pid"
status=0
wait "$pid" || status=$?
lines=$(grep -c '^[0-9]*,video:1,Az:' "$work/out.txt" || true)
echo "-- downlink-play: $lines telemetry lines in 4 s, status $status after SIGINT" >&2
[ "$status" -eq 0 ] || { cat "$work/err.txt" >&2; fail "downlink-play ended with status $status"; }
[ "$lines" -ge 25 ] || { cat "$work/err.txt" >&2; fail "too few telemetry lines: $lines"; }
if grep -vq "no display found" "$work/err.txt"; then
  cat "$work/err.txt" >&2
  fail "standard error holds more than the player's notice"
fi
if compgen -G "$work/tmp/downlink-play-*" >/dev/null; then fail "a temporary folder was left"; fi

version=$(sed -n 's/^project(downlink-player VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
for page in "${pages[@]}"; do
  man -w "$page" >/dev/null || fail "no manual page for $page"
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$(man -w "$page")" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man $page: $warnings"
  if [ "$page" != downlink-player ]; then
    [ "$("$page" --version)" = "$page $version" ] || fail "$page --version does not say $version"
  fi
done

DEBIAN_FRONTEND=noninteractive apt-get purge -y -q downlink-player >&2
[ ! -e /usr/bin/downlink-play ] && [ ! -e "$sample" ] || fail "files left after the purge"
after=$(dpkg-query -W -f='${Package} ${Version}\n' | sort)
[ "$before" = "$after" ] || fail "installed packages differ: $(diff <(echo "$before") <(echo "$after"))"
echo "-- package stage took $((SECONDS - start)) s" >&2

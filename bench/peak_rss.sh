#!/usr/bin/env bash
# Peak resident memory of the real player replaying a recording, read from
# /proc (VmHWM) once the replay is over and the last line has come, then the
# player is stopped with SIGINT as a user would stop it.
#   usage: peak_rss.sh PLAYER RECORDING [offscreen|window]
# "offscreen" (the default) runs without a display; "window" keeps $DISPLAY.
set -euo pipefail

player=$(realpath "$1")
recording=$(realpath "$2")
mode=${3:-offscreen}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/E:/Morrigat/Vessik/Quillmar"
ln -s "$recording" "$work/E:/Morrigat/Vessik/Quillmar/1080vi1.dat"

cd "$work"
if [ "$mode" = offscreen ]; then
  env -u DISPLAY QT_QPA_PLATFORM=offscreen "$player" >out.txt 2>err.txt &
else
  "$player" >out.txt 2>err.txt &
fi
pid=$!

# The completion line ends with the GBK bytes of its last word.
done_marker=$(printf '\xb8\xf6\xb0\xfc')
for _ in $(seq 1 6000); do
  grep -aq "$done_marker" out.txt && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
# The worker may still be decoding what the replay queued last.
lines=-1
while [ "$lines" != "$(grep -ac ',video:' out.txt || true)" ]; do
  lines=$(grep -ac ',video:' out.txt || true)
  sleep 0.5
done

if ! kill -0 "$pid" 2>/dev/null; then
  echo "peak_rss.sh: the player ended before it was measured:" >&2
  cat err.txt >&2
  exit 1
fi
peak_kb=$(awk '/^VmHWM:/ {print $2}' "/proc/$pid/status")
kill -INT "$pid"
wait "$pid" || true
printf 'player peak RSS (%s, %s): %d kB = %.1f MB over %s pictures; target < 150 MB: %s\n' \
  "$mode${QT_XCB_GL_INTEGRATION:+, QT_XCB_GL_INTEGRATION=$QT_XCB_GL_INTEGRATION}" "$(basename "$recording")" "$peak_kb" "$(awk -v kb="$peak_kb" 'BEGIN {print kb / 1024}')" "$lines" \
  "$([ "$peak_kb" -lt $((150 * 1024)) ] && echo met || echo missed)"

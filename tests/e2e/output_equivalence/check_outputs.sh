#!/usr/bin/env bash
# Runs every program of a build tree on a fixed set of recordings and checks
# that each output (standard output, standard error, exit status and every
# file written) is byte for byte the one pinned in a manifest of sha256 sums.
#
#   check_outputs.sh [--update] [--keep] BUILD_DIR MANIFEST
#
# BUILD_DIR is the root of a CMake build tree (app/downlink-player,
# programs/make/make-recording, ...). --update writes MANIFEST from
# this build's outputs instead of checking them. --keep leaves the work
# folder in place and names it, so that two builds' outputs can be diffed.
#
# The inputs are made here, without encoding anything but one small clip:
#   sample     the bundled sample recording
#   impaired   the sample's stream framed again with noise, dropped frames,
#              invalid lengths, sequence jumps and repeats and bit flips
#   truncated  the sample's stream framed again and cut off mid-frame
#   reordered  a 320x240 test pattern with B-frames and two slices a picture
#              (libx265 with these settings gives the same bytes every run)
# The inputs are pinned too, so a change in make-recording shows there first.
# An output added here is run twice with --keep and compared before it is
# pinned: what varies from run to run is rewritten in normalise().

# The commands in the tables below are expanded when they run, by eval.
# shellcheck disable=SC2016
set -euo pipefail

usage() {
  echo "usage: $0 [--update] [--keep] BUILD_DIR MANIFEST" >&2
  exit 2
}

update=0
keep=0
while [[ $# -gt 0 && $1 == --* ]]; do
  case $1 in
    --update) update=1 ;;
    --keep) keep=1 ;;
    *) usage ;;
  esac
  shift
done
[[ $# -eq 2 ]] || usage
build=$(cd "$1" && pwd)
manifest=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
sample=$here/../../../samples/downlink-sample.dat

# The programs are called by name, so that a usage line naming the program
# reads the same whichever build tree it comes from.
for dir in app programs/live programs/make programs/inspect \
  programs/export programs/send programs/view; do
  [[ -d $build/$dir ]] || { echo "$0: $build/$dir: no such folder" >&2; exit 2; }
  PATH=$build/$dir:$PATH
done
export PATH
for program in downlink-player downlink-play downlink-live downlink-send \
  make-recording inspect-recording export-recording; do
  [[ -x $(command -v "$program") ]] || { echo "$0: $program not built in $build" >&2; exit 2; }
done

# No window, whatever the caller's session: the programs then run offscreen
# and say so on standard error. A fixed locale and time zone, and no session
# bus for Qt's accessibility bridge to start.
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
export LC_ALL=C.UTF-8 TZ=UTC DBUS_SESSION_BUS_ADDRESS=disabled:

work=$(mktemp -d "${TMPDIR:-/tmp}/dlp-outputs-XXXXXX")
finish() {
  if [[ $keep -eq 1 ]]; then echo "outputs kept in $work" >&2; else rm -rf "$work"; fi
}
trap finish EXIT
mkdir -p "$work/in" "$work/out" "$work/tmp"

# ---------------------------------------------------------------- inputs

make_inputs() {
  cd "$work/in"
  cp "$sample" sample.dat
  inspect-recording -q --es-output sample.es sample.dat >/dev/null
  make-recording -q --input sample.es --output impaired.dat --seed 7 \
    --noise 24 --noise-probability 0.05 --drop-rate 0.002 --invalid-length-rate 0.001 \
    --jump-rate 0.0005 --repeat-rate 0.0005 --bit-flip-rate 0.00001
  make-recording -q --input sample.es --output truncated.dat --truncate 1500001
  make-recording -q --output reordered.dat --size 320x240 --frames 30 --bframes 2 --slices 2
}

# ---------------------------------------------------------------- running the player

# "文件处理完成" in code page 936: the start of the player's closing line.
readonly DONE_MARK=$'\xce\xc4\xbc\xfe\xb4\xa6\xc0\xed\xcd\xea\xb3\xc9'
# After its closing line the player is stopped once its output has not grown
# for this long: the decoding thread may still be printing its last pictures.
readonly SETTLE_SECONDS=3
readonly REPLAY_BOUND_SECONDS=300  # against a hang only

# replay COMMAND...: runs a player until its replay is done and its last line
# printed, stops it with SIGTERM as a user would, and passes on its output
# and exit status. The closing line comes from the reading thread and the
# picture lines from the decoding thread, so where it falls among the last
# pictures depends on timing: it is moved to the end.
replay() {
  local out=$work/tmp/replay.out err=$work/tmp/replay.err status=0
  : >"$out"
  : >"$err"  # both exist before the player has opened them
  "$@" >>"$out" 2>>"$err" &
  player_pid=$!
  # Each output runs in a subshell: the player ends with it whatever happens.
  trap 'kill -KILL "$player_pid" 2>/dev/null || true' EXIT
  local waited=0 size last_size=-1 still=0
  while kill -0 "$player_pid" 2>/dev/null && ((waited < REPLAY_BOUND_SECONDS * 10)); do
    if LC_ALL=C grep -q -F "$DONE_MARK" "$out"; then
      size=$(($(stat -c %s "$out") + $(stat -c %s "$err")))
      if ((size == last_size)); then ((still += 1)); else still=0; fi
      last_size=$size
      ((still < SETTLE_SECONDS * 10)) || break
    fi
    sleep 0.1
    ((waited += 1))
  done
  kill -TERM "$player_pid" 2>/dev/null || true
  wait "$player_pid" || status=$?
  trap - EXIT
  LC_ALL=C grep -v -F "$DONE_MARK" "$out" || true
  LC_ALL=C grep -F "$DONE_MARK" "$out" || true
  cat "$err" >&2
  return "$status"
}

# The player reads only this path, relative to its working folder.
play_in_folder() {
  mkdir -p E:/Morrigat/Vessik/Quillmar
  ln -s "$PWD/$rec" E:/Morrigat/Vessik/Quillmar/1080vi1.dat
  replay downlink-player
  rm -r E:
}

# ---------------------------------------------------------------- the outputs

# Each line: a name, then a command run in a folder of its own that holds
# the recording as $rec. Its standard output, standard error, exit status and
# every file it writes there are pinned as <recording>/<name>/<file>.
# shellcheck disable=SC2034
readonly START=2026-01-02T03:04:05Z  # else export's times come from the file's mtime
readonly PER_RECORDING=(
  'inspect        | inspect-recording -q "$rec"'
  'inspect-csv    | inspect-recording -q --csv "$rec"'
  'inspect-decode | inspect-recording -q --decode "$rec"'
  'report         | inspect-recording -q --report page.png --report page.svg --report page.pdf "$rec"'
  'export         | export-recording -q "$rec" --start-time $START -o a.ts -o a.mkv -o a.mp4 -o a.srt -o a.gpx -o a.kml -o a.csv'
  'live           | downlink-live -q --record received.dat - < "$rec"'
  'send           | downlink-send --rate 50000000 --outage 0.02:0.01 --outage 0.05:0.003 "$rec" pipe:1'
  'player         | play_in_folder'
)
# Run once, on the input named ("-": none).
readonly ONCE=(
  'reordered | play           | replay downlink-play "$rec"'
  'sample.es | inspect        | inspect-recording -q "$rec"'
  'sample.es | play           | downlink-play "$rec"'
  'sample.es | export         | export-recording -q "$rec" --start-time $START -o a.csv'
  'sample.es | view           | downlink-view "$rec"'
  'sample    | inspect-chunks | inspect-recording -q --decode --chunk-size 777 "$rec"'
  '-         | help-play      | downlink-play --help'
  '-         | help-live      | downlink-live --help'
  '-         | help-send      | downlink-send --help'
  '-         | help-make      | make-recording --help'
  '-         | help-inspect   | inspect-recording --help'
  '-         | help-export    | export-recording --help'
  '-         | help-view      | downlink-view --help'
  '-         | bad-play       | downlink-play --bogus'
  '-         | bad-live       | downlink-live --bogus'
  '-         | bad-send       | downlink-send --bogus'
  '-         | bad-make       | make-recording --bogus'
  '-         | bad-inspect    | inspect-recording --bogus'
  '-         | bad-export     | export-recording --bogus'
  '-         | bad-view       | downlink-view --bogus'
)
readonly RECORDINGS=(sample impaired truncated reordered)

trim() { sed -E 's/^ +//; s/ +$//' <<<"$1"; }

# Rewrites, in place, what differs from run to run while the program does
# the same thing.
normalise() {  # folder
  local file
  # FFmpeg names the context it logs for by its address, which moves with
  # every run; downlink-live's link-quiet and link-back lines depend on how
  # long the pipeline held up the reading.
  sed -i -E 's/ @ 0x[0-9a-f]+\]/ @ 0x0]/; /^downlink-live: link (quiet|back)/d' "$1/stderr"
  for file in "$1"/*.pdf; do
    [[ -e $file ]] || continue
    # cairo stamps the page with the time it was drawn.
    LC_ALL=C sed -i -E 's|/CreationDate \(D:[0-9]{14}[^)]*\)|/CreationDate (D:00000000000000Z)|' "$file"
  done
  for file in "$1"/*.mkv; do
    [[ -e $file ]] || continue
    # FFmpeg's Matroska muxer draws the segment and track UIDs at random;
    # they are zeroed, and the CRC-32 elements over them with them, in the
    # header up to the first cluster. Everything after it is left alone.
    perl -0777 -i -pe '
      my $at = index($_, "\x1f\x43\xb6\x75");
      my $head = substr($_, 0, $at < 0 ? length($_) : $at);
      $head =~ s/\x73\xa4\x90.{16}/"\x73\xa4\x90" . "\0" x 16/gse;
      $head =~ s/([\x73\x63]\xc5\x88).{8}/$1 . "\0" x 8/gse;
      $head =~ s/\xbf\x84.{4}/"\xbf\x84\0\0\0\0"/gs;
      substr($_, 0, length $head) = $head;' "$file"
  done
}

run_output() {  # input name command
  local input=$1 name=$2 command=$3 folder status=0
  folder=$work/out/$input/$name
  [[ $input != - ]] || folder=$work/out/programs/$name
  mkdir -p "$folder"
  rec=
  if [[ $input != - ]]; then
    rec=$input
    [[ -e $work/in/$rec ]] || rec=$input.dat
    ln -s "$work/in/$rec" "$folder/$rec"
  fi
  (cd "$folder" && eval "$command") >"$folder/stdout" 2>"$folder/stderr" || status=$?
  echo "$status" >"$folder/status"
  normalise "$folder"
  [[ -z $rec ]] || rm "$folder/$rec"
}

# ---------------------------------------------------------------- running and comparing

start=$SECONDS
(make_inputs)
for recording in "${RECORDINGS[@]}"; do
  for entry in "${PER_RECORDING[@]}"; do
    run_output "$recording" "$(trim "${entry%%|*}")" "$(trim "${entry#*|}")"
  done
done
for entry in "${ONCE[@]}"; do
  IFS='|' read -r input name command <<<"$entry"
  run_output "$(trim "$input")" "$(trim "$name")" "$(trim "$command")"
done

current=$work/outputs.sha256
(
  cd "$work"
  find in out -type f | LC_ALL=C sort | sed 's|^in/|inputs/|; s|^out/||' >list
  while read -r name; do
    file=out/$name
    [[ $name == inputs/* ]] && file=in/${name#inputs/}
    printf '%s  %s\n' "$(sha256sum <"$file" | cut -d' ' -f1)" "$name"
  done <list
) >"$current"

if [[ $update -eq 1 ]]; then
  cp "$current" "$manifest"
  echo "wrote $(wc -l <"$manifest") sums to $manifest in $((SECONDS - start)) s"
  exit 0
fi

[[ -f $manifest ]] || { echo "$0: $manifest: no such manifest (make it with --update)" >&2; exit 2; }
declare -A pinned made
while read -r sum name; do pinned[$name]=$sum; done <"$manifest"
while read -r sum name; do made[$name]=$sum; done <"$current"
differ=0
mapfile -t names < <(printf '%s\n' "${!pinned[@]}" "${!made[@]}" | LC_ALL=C sort -u)
for name in "${names[@]}"; do
  if [[ -z ${pinned[$name]:-} ]]; then
    echo "NEW      $name (${made[$name]})"
    differ=1
  elif [[ -z ${made[$name]:-} ]]; then
    echo "MISSING  $name (pinned ${pinned[$name]})"
    differ=1
  elif [[ ${made[$name]} != "${pinned[$name]}" ]]; then
    echo "DIFFERS  $name"
    echo "         pinned ${pinned[$name]}"
    echo "         now    ${made[$name]}"
    [[ $name != */status ]] || echo "         exit status now $(cat "$work/out/$name")"
    differ=1
  fi
done
if [[ $differ -ne 0 ]]; then
  echo "outputs differ from $manifest (run with --keep to look at them)"
  exit 1
fi
echo "all ${#pinned[@]} outputs as pinned in $((SECONDS - start)) s"

# Sourced by scripts/ci/30-fuzz.sh and scripts/fuzz-campaign.sh:
# make_seed_dirs <fuzz build> <folder> writes the seeds of every target into
# <folder>/<target>/: the built-in ones, and recordings from the normal
# build's make-recording when there is one (BUILD_DIR, default build).
make_seed_dirs() {
  local build=$1 seeds=$2
  rm -rf "$seeds"
  "$build/fuzz/make_fuzz_seeds" "$seeds"
  # A clean recording, an impaired one and one of several slices a picture
  # with B-frames (the whole-picture path), with the elementary streams they
  # frame. The link parser's and the reader's harnesses take a control byte first.
  local make_recording=${BUILD_DIR:-build}/programs/make/make-recording
  if [ ! -x "$make_recording" ]; then
    echo "-- no make-recording in ${BUILD_DIR:-build}; fuzzing from the built-in seeds only" >&2
    return 0
  fi
  "$make_recording" -q -o "$seeds/clean.dat" -s 64x64 -n 4 --keyint 2 --es-output "$seeds/clean.hevc"
  "$make_recording" -q -o "$seeds/impaired.dat" -s 96x64 -n 3 --noise 40 --drop-rate 0.05 \
    --bit-flip-rate 0.001 --jump-rate 0.05 --es-output "$seeds/impaired.hevc"
  "$make_recording" -q -o "$seeds/slices.dat" -s 64x128 -n 4 --keyint 2 --slices 4 --bframes 2 \
    --es-output "$seeds/slices.hevc"
  local name target
  for name in clean impaired slices; do
    for target in link_parser recording_reader; do
      { printf '\x11'; cat "$seeds/$name.dat"; } >"$seeds/$target/recording-$name"
    done
    mkdir -p "$seeds/stream_session" "$seeds/picture_seeker"
    { printf '\x11\x80'; cat "$seeds/$name.dat"; } >"$seeds/stream_session/recording-$name"
    { printf '\x11\x0b'; cat "$seeds/$name.dat"; } >"$seeds/picture_seeker/recording-$name"
    for target in nal_splitter nal_overflow unit_path export_path; do
      cp "$seeds/$name.hevc" "$seeds/$target/recording-$name"
    done
  done
}

# The targets of fuzz/targets.txt, one "name max_len dictionary seconds" a line.
fuzz_plan() {
  grep -v '^#' fuzz/targets.txt | awk 'NF == 4'
}

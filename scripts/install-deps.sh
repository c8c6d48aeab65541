#!/usr/bin/env bash
# Installs the Debian 12 packages the player, its tools and its tests need.
# Skips apt entirely when everything is already there.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev
  libopencv-core-dev libopencv-imgproc-dev libopencv-highgui-dev
  qtbase5-dev
  libgtest-dev libbenchmark-dev
  xvfb xauth x11-utils xdotool imagemagick mpv
  ffmpeg
  clang libclang-rt-14-dev
  valgrind
  gpsbabel
  dpkg-dev lintian man-db
  libcairo2-dev libpng-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
echo "installing: ${missing[*]}" >&2
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
# Standard output is left to the programs the caller runs next (the
# player's telemetry lines); apt's log goes with the other progress.
$SUDO apt-get update -q >&2
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}" >&2

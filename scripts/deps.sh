#!/usr/bin/env bash
# Installs the Debian 12 packages the studio builds, runs and tests with. Idempotent: only what is missing.
set -euo pipefail

packages=(
  cmake g++ ninja-build ccache pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev qcoro-qt6-dev
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
  libopencv-core-dev libopencv-imgproc-dev
  libxcb1-dev libxcb-shm0-dev libxcb-composite0-dev libxcb-xfixes0-dev libxcb-xinput-dev libxcb-randr0-dev
  libxcb-keysyms1-dev libxcb-shape0-dev libxcb-ewmh-dev
  libpulse-dev libudev-dev libevdev-dev
  libdlib-dev libdlib-data
  libpocketsphinx-dev libsphinxbase-dev pocketsphinx-en-us
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-dejavu-core xvfb xauth xdotool x11-utils pulseaudio pulseaudio-utils espeak-ng sox ffmpeg python3 valgrind xterm
  pipewire pipewire-pulse wireplumber dbus-daemon
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "deps: installing ${missing[*]}"
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"

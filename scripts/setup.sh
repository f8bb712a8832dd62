#!/usr/bin/env bash
# Installs the Debian packages that the build, the tools and the tests need.
# Idempotent: installs only what is missing, and refreshes the package lists
# only when something has to be installed.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  clang libclang-rt-14-dev            # fuzz targets (libFuzzer)
  libsoundtouch-dev                   # pitch shifting
  libpulse-dev pulseaudio pulseaudio-utils   # local monitor playback and its tests
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libsndfile1-dev libsamplerate0-dev  # the renderer's file I/O and resampling
  espeak-ng sox                       # the bundled voice sample, spectrograms
  binutils file zip unzip             # symbol checks, packaging
  nginx-light                         # a real HTTP server for the update check test
  python3 dpkg-dev                    # dpkg-dev: unpacks the SoundTouch source package
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
bash "$(dirname "$0")/fetch-soundtouch.sh"

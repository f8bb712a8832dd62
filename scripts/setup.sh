#!/usr/bin/env bash
# Installs the Debian packages that one job needs, and nothing more:
#   setup.sh main      build the plug-in, its icons and tools, render the voice sample
#   setup.sh tests     everything above plus the test toolchain (sanitizers,
#                      fuzzing, GoogleTest, a PulseAudio daemon, nginx, mingw-w64,
#                      Wine for 64- and 32-bit programs)
#   setup.sh release   everything main needs plus mingw-w64 for the Windows libraries
# Idempotent: installs only what is missing, refreshing the package lists only
# then, and shows apt's own progress while it works. Services that packages
# bring along are kept from starting during the install and disabled after
# it, every time this runs: the tests start their own servers on loopback.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
job=${1:-main}

main_packages=(
  build-essential cmake ninja-build pkg-config
  libpulse-dev                        # the monitor's and the preview's PulseAudio client
  libsndfile1-dev libsamplerate0-dev  # the renderer's file I/O and resampling
  sox                                 # spectrograms
  python3 zip                         # menu icons, the package
  dpkg-dev                            # unpacks Debian's SoundTouch source package
)
windows_packages=(
  mingw-w64                           # the Windows libraries
)
test_packages=(
  clang libclang-rt-14-dev            # fuzz targets (libFuzzer)
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  pulseaudio pulseaudio-utils         # a sound server of the tests' own, with a null sink
  binutils file unzip                 # symbol, import and package checks
  nginx-light                         # a real HTTP server for the update check tests
  wine64                              # the Windows tests
  wine32:i386                         # the 32-bit Windows tests (Debian's i386 architecture)
)

case "$job" in
  main) packages=("${main_packages[@]}") ;;
  release) packages=("${main_packages[@]}" "${windows_packages[@]}") ;;
  tests) packages=("${main_packages[@]}" "${windows_packages[@]}" "${test_packages[@]}") ;;
  *) echo "usage: setup.sh [main|tests|release]" >&2; exit 2 ;;
esac

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

# Packages named "name:arch" come from that architecture, which dpkg must
# know first; adding it takes effect with the next refresh of the lists.
for p in "${packages[@]}"; do
  arch=${p#*:}
  [ "$arch" != "$p" ] || continue
  if [ "$arch" != "$(dpkg --print-architecture)" ] && ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
    echo "setup ($job): adding the $arch architecture for ${p%%:*}"
    $SUDO dpkg --add-architecture "$arch"
  fi
done

# Packaged services that must never be left enabled or running.
disable_services() {
  if [ -e /lib/systemd/system/nginx.service ] || [ -e /etc/init.d/nginx ]; then
    $SUDO systemctl disable nginx.service >/dev/null 2>&1 || true
    $SUDO update-rc.d nginx disable >/dev/null 2>&1 || true
  fi
  if [ -e /usr/lib/systemd/user/pulseaudio.socket ] || [ -e /lib/systemd/user/pulseaudio.socket ]; then
    $SUDO systemctl --global disable pulseaudio.socket pulseaudio.service >/dev/null 2>&1 || true
  fi
}

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup ($job): installing ${#missing[@]} packages and what they depend on:"
  printf '  %s\n' "${missing[@]}"
  export DEBIAN_FRONTEND=noninteractive
  # Keeps every packaged service from being started by the install.
  policy=/usr/sbin/policy-rc.d
  own_policy=""
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' | $SUDO tee "$policy" >/dev/null
    $SUDO chmod 755 "$policy"
    own_policy=1
  fi
  trap '[ -n "$own_policy" ] && $SUDO rm -f "$policy"' EXIT
  echo "setup ($job): refreshing the package lists"
  $SUDO apt-get update -o DPkg::Lock::Timeout=600
  echo "setup ($job): downloading and installing (this can take a few minutes)"
  $SUDO apt-get install -y --no-install-recommends -o DPkg::Lock::Timeout=600 \
    -o Dpkg::Use-Pty=0 "${missing[@]}"
  echo "setup ($job): packages installed"
fi
disable_services

bash "$here/fetch-debian-source.sh"

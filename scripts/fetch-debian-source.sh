#!/usr/bin/env bash
# scripts/fetch-debian-source.sh [PACKAGE VERSION]
# Unpacks Debian's own source package PACKAGE (upstream VERSION) into
# .deps/PACKAGE, from which every build compiles it into the plug-in
# statically; without arguments, every one the project builds: SoundTouch
# and Kiss FFT. The source entry is
# derived from the machine's existing Debian package sources (deb becomes
# deb-src), so the source comes from the same archive as the machine's
# binary packages. Idempotent: does nothing once unpacked.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -eq 0 ]; then
  bash "$0" soundtouch 2.3.2
  bash "$0" kissfft 131.1.0
  exit 0
fi
[ $# -eq 2 ] || { echo "usage: scripts/fetch-debian-source.sh [PACKAGE VERSION]" >&2; exit 2; }
package=$1
version=$2
target=.deps/$package
stamp=$target/.morindale-unpacked
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$version" ]; then exit 0; fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
command -v dpkg-source >/dev/null || {
  echo "fetch-debian-source: installing dpkg-dev (unpacks source packages)"
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends dpkg-dev
}

src_list=/etc/apt/sources.list.d/morindale-src.sources
if ! apt-get source --print-uris -qq "$package" 2>/dev/null | grep -q "${package}_$version"; then
  if [ ! -f "$src_list" ]; then
    echo "fetch-debian-source: adding the source entries of the machine's Debian archives"
    tmp=$(mktemp)
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -f "$f" ] && [ "$f" != "$src_list" ] || continue
      grep -q 'debian' "$f" || continue
      sed -E 's/^Types:.*$/Types: deb-src/' "$f" >>"$tmp"
      echo >>"$tmp"
    done
    if [ -f /etc/apt/sources.list ]; then
      # One-line format: a deb-src line beside every deb line.
      grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' >"$tmp.list" || true
      [ -s "$tmp.list" ] && $SUDO cp "$tmp.list" /etc/apt/sources.list.d/morindale-src.list
      rm -f "$tmp.list"
    fi
    [ -s "$tmp" ] && $SUDO install -m 0644 "$tmp" "$src_list"
    rm -f "$tmp"
  fi
  echo "fetch-debian-source: refreshing the package lists"
  $SUDO apt-get update -o DPkg::Lock::Timeout=600
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "fetch-debian-source: fetching Debian's $package $version source package"
(cd "$work" && apt-get source -qq --download-only "$package=$version*" >/dev/null 2>&1 ||
  apt-get source -qq --download-only "$package" >/dev/null 2>&1)
dsc=$(ls "$work"/"${package}_$version"*.dsc | head -n 1)
# The archive's signatures were checked by apt; dpkg-source checks the checksums.
dpkg-source -x "$dsc" "$work/unpacked" >"$work/log" 2>&1 || { cat "$work/log" >&2; exit 1; }
rm -rf "$target"
mkdir -p .deps
mv "$work/unpacked" "$target"
echo "$version" >"$stamp"
echo "fetch-debian-source: $package $version source in $target"

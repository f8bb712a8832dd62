#!/usr/bin/env bash
# Unpacks Debian's own SoundTouch source package into .deps/soundtouch, from
# which every build compiles SoundTouch into the plug-in statically. The
# source entry is derived from the machine's existing Debian package sources
# (deb becomes deb-src), so the source comes from the same archive as the
# machine's binary packages. Idempotent: does nothing once unpacked.
set -euo pipefail
cd "$(dirname "$0")/.."

version=2.3.2
target=.deps/soundtouch
stamp=$target/.morindale-unpacked
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$version" ]; then exit 0; fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
command -v dpkg-source >/dev/null || {
  echo "fetch-soundtouch: installing dpkg-dev (unpacks source packages)"
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends dpkg-dev
}

src_list=/etc/apt/sources.list.d/morindale-src.sources
if ! apt-get source --print-uris -qq soundtouch 2>/dev/null | grep -q "soundtouch_$version"; then
  if [ ! -f "$src_list" ]; then
    echo "fetch-soundtouch: adding the source entries of the machine's Debian archives"
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
  echo "fetch-soundtouch: refreshing the package lists"
  $SUDO apt-get update -o DPkg::Lock::Timeout=600
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "fetch-soundtouch: fetching Debian's soundtouch $version source package"
(cd "$work" && apt-get source -qq --download-only "soundtouch=$version*" >/dev/null 2>&1 ||
  apt-get source -qq --download-only soundtouch >/dev/null 2>&1)
dsc=$(ls "$work"/soundtouch_"$version"*.dsc | head -n 1)
# The archive's signatures were checked by apt; dpkg-source checks the checksums.
dpkg-source -x "$dsc" "$work/unpacked" >/dev/null
rm -rf "$target"
mkdir -p .deps
mv "$work/unpacked" "$target"
echo "$version" >"$stamp"
echo "fetch-soundtouch: SoundTouch $version source in $target"

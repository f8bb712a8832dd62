#!/usr/bin/env bash
# Builds the release: one package per TeamSpeak 3 client line, each holding
# the Linux library and the two Windows libraries built for that line's
# plug-in API (each self-contained), the menu icons, LICENSE.txt and
# THIRD_PARTY_NOTICES.txt. Writes into dist/:
#   morindale-<version>.ts3_plugin            plug-in API 26, TeamSpeak 3.6 and later
#   morindale-<version>-ts3-3.5.ts3_plugin    plug-in API 24, TeamSpeak 3.5
#   morindale-<version>-ts3-3.3.ts3_plugin    plug-in API 23, TeamSpeak 3.3
#   morindale-<version>-ts3-3.1-3.2.ts3_plugin plug-in API 21, TeamSpeak 3.1 and 3.2
#   morindale-<version>-ts3-3.0.ts3_plugin    plug-in API 20, TeamSpeak 3.0.14 to 3.0.19
# Then checks every package: its entries, and that each of its three
# libraries reports the API of its package.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh release

jobs=$(nproc)
common=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DMORINDALE_BUILD_TESTS=OFF -DMORINDALE_BUILD_TOOLS=OFF
        -DMORINDALE_BUILD_BENCH=OFF)
apis=(26 24 23 21 20)
# Every release from fresh build folders: nothing cached from an earlier
# configuration (compiler flags of a toolchain file, say) reaches it.
rm -rf build-release
mkdir -p dist
rm -f dist/*.ts3_plugin
for api in "${apis[@]}"; do
  dlls=()
  for arch in x86_64 i686; do
    dir=build-release/win-$arch-api$api
    echo "== Windows ($arch), plug-in API $api"
    cmake -S . -B "$dir" "${common[@]}" -DMORINDALE_PLUGIN_API=$api \
      -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-$arch.cmake" >/dev/null
    cmake --build "$dir" -j"$jobs" --target morindale
    dlls+=("$(ls "$PWD/$dir"/morindale_win*.dll)")
  done
  dir=build-release/linux-api$api
  echo "== Linux, plug-in API $api, and the package"
  cmake -S . -B "$dir" "${common[@]}" -DMORINDALE_PLUGIN_API=$api \
    -DMORINDALE_PACKAGE_EXTRA_LIBRARIES="${dlls[1]};${dlls[0]}" \
    -DMORINDALE_PACKAGE_PLATFORMS="win32, win64, linux_amd64" >/dev/null
  rm -f "$dir"/*.ts3_plugin
  cmake --build "$dir" -j"$jobs" --target package-plugin
  cp "$dir"/*.ts3_plugin dist/
done

echo "== checking the packages"
expected_entries='package.ini
plugins/morindale/LICENSE.txt
plugins/morindale/THIRD_PARTY_NOTICES.txt
plugins/morindale/about.png
plugins/morindale/head.png
plugins/morindale/home.png
plugins/morindale/stop.png
plugins/morindale/update.png
plugins/morindale/voice.png
plugins/morindale/vorn16.png
plugins/morindale_linux_amd64.so
plugins/morindale_win32.dll
plugins/morindale_win64.dll'
# The value ts3plugin_apiVersion returns, read from its code (mov $N,%eax).
dll_api() {
  "$1-w64-mingw32-objdump" -d "$2" |
    sed -n "/<_\{0,1\}ts3plugin_apiVersion>:/,/ret/p" | sed -nE 's/.*mov +\$0x([0-9a-f]+),%eax.*/\1/p' |
    head -n 1 | xargs -I{} printf '%d\n' 0x{}
}
check=$(mktemp -d)
trap 'rm -rf "$check"' EXIT
bad=0
for api in "${apis[@]}"; do
  package=$(ls build-release/linux-api$api/*.ts3_plugin)
  name=$(basename "$package")
  rm -rf "$check/$api" && mkdir -p "$check/$api"
  python3 -m zipfile -e "$package" "$check/$api"
  entries=$(cd "$check/$api" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
  linux=$(python3 -c 'import ctypes, sys; print(ctypes.CDLL(sys.argv[1]).ts3plugin_apiVersion())' \
    "$check/$api/plugins/morindale_linux_amd64.so")
  win64=$(dll_api x86_64 "$check/$api/plugins/morindale_win64.dll")
  win32=$(dll_api i686 "$check/$api/plugins/morindale_win32.dll")
  described=$(sed -nE 's/^Description = .*\(plug-in API ([0-9]+)\)\.$/\1/p' "$check/$api/package.ini")
  if [ "$entries" = "$expected_entries" ] && [ "$linux" = "$api" ] && [ "$win64" = "$api" ] &&
     [ "$win32" = "$api" ] && [ "$described" = "$api" ] &&
     cmp -s LICENSE "$check/$api/plugins/morindale/LICENSE.txt" &&
     cmp -s THIRD_PARTY_NOTICES.txt "$check/$api/plugins/morindale/THIRD_PARTY_NOTICES.txt"; then
    echo "$name: API $api in package.ini, linux_amd64, win32 and win64; $(wc -l <<<"$entries") entries: ok"
  else
    echo "$name: FAILED (package.ini API '$described', linux '$linux', win32 '$win32', win64 '$win64')"
    diff <(echo "$expected_entries") <(echo "$entries") || true
    bad=1
  fi
done
echo "dist/:"
ls -l dist/*.ts3_plugin
[ "$bad" -eq 0 ]

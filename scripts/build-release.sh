#!/usr/bin/env bash
# Builds the release: for each client plug-in API (26 for TeamSpeak 3.6 and
# later, 20 for 3.0.14 to 3.0.19) the Linux library and the two Windows
# libraries, each self-contained, and one package holding all three with the
# menu icons. Writes into dist/:
#   morindale-<version>.ts3_plugin         plug-in API 26
#   morindale-<version>-api20.ts3_plugin   plug-in API 20
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh release

jobs=$(nproc)
common=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DMORINDALE_BUILD_TESTS=OFF -DMORINDALE_BUILD_TOOLS=OFF
        -DMORINDALE_BUILD_BENCH=OFF)
mkdir -p dist
for api in 26 20; do
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
  cmake --build "$dir" -j"$jobs" --target package-plugin
  cp "$dir"/*.ts3_plugin dist/
done
echo "dist/:"
ls -l dist/*.ts3_plugin

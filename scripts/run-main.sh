#!/usr/bin/env bash
# Installs what is missing, builds the plug-in and plays a client session
# against it through the client emulator.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j"$(nproc)"
./build/tools/morindale-session

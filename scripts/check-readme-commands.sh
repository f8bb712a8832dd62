#!/usr/bin/env bash
# Runs every command block of the README after the first (the first holds
# the two top-level commands, which CI runs itself), from the project root,
# with HOME pointing to a scratch folder so that nothing lands in the real
# home directory, right after the main job (run first where it has not run
# yet). Fails on the first command that fails, and when the by-hand install
# did not install a library for today's client with its icons.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ ! -f build/morindale_linux_amd64.so ] || [ ! -f build/packaging/icons/vorn16.png ]; then
  echo "README commands: running the main job first"
  bash scripts/run-main.sh >/dev/null
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

python3 - README.md "$scratch/blocks" <<'PY'
import os, re, sys
text = open(sys.argv[1]).read()
blocks = re.findall(r"```sh\n(.*?)```", text, re.S)
os.makedirs(sys.argv[2])
for i, block in enumerate(blocks[1:], 1):
    with open(os.path.join(sys.argv[2], "%02d.sh" % i), "w") as f:
        f.write(block)
PY

mkdir -p "$scratch/home" out
for block in "$scratch"/blocks/*.sh; do
  echo "-- README block $(basename "$block" .sh):"
  sed 's/^/   $ /' "$block"
  HOME="$scratch/home" bash -euo pipefail "$block" >"$scratch/log" 2>&1 || {
    cat "$scratch/log"
    echo "README command block failed"
    exit 1
  }
done
plugins="$scratch/home/.ts3client/plugins"
api=$(python3 -c 'import ctypes, sys; print(ctypes.CDLL(sys.argv[1]).ts3plugin_apiVersion())' \
  "$plugins/morindale_linux_amd64.so")
icons=$(ls "$plugins/morindale" | grep -c '\.png$' || true)
if [ "$api" != 26 ] || [ "$icons" != 7 ]; then
  echo "README install: plug-in API $api with $icons icons, not API 26 with 7"
  exit 1
fi
echo "README commands: all ran; the by-hand install holds an API 26 library and its 7 icons"

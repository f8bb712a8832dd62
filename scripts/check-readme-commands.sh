#!/usr/bin/env bash
# Runs every command block of the README after the first (the first holds
# the two top-level commands, which CI runs itself), from the project root,
# with HOME pointing to a scratch folder so that nothing lands in the real
# home directory. Fails on the first command that fails.
set -euo pipefail
cd "$(dirname "$0")/.."

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
echo "README commands: all ran"

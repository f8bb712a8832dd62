#!/usr/bin/env bash
# Installs what the main job needs (and only that), builds the plug-in for
# today's client (plug-in API 26) with its menu icons and the tools, renders the
# bundled voice sample through every effect as the client would send it, and
# draws a spectrogram of each result; the effects and their titles are the
# plug-in's voices, as the renderer lists them. Everything lands in out/:
#   out/<effect>.wav   what the client would send, 48 kHz mono
#   out/<effect>.png   its spectrogram (and out/input.png for the sample)
# The table printed at the end gives, per effect, the measured pitch ratio
# (output to input), the level and how much faster than real time it ran.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh main

build=${MORINDALE_BUILD_DIR:-build}
sample=tests/data/voice-sample.wav
cmake -S . -B "$build" -G Ninja -DMORINDALE_PLUGIN_API=26 -DMORINDALE_BUILD_TESTS=OFF -DMORINDALE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target morindale menu-icons morindale-render morindale-preview

manual_pitch=+2.5  # semitones: the pitch Pitch (manual) is rendered at
mkdir -p out
"$build/tools/morindale-render" --pitch "$manual_pitch" "$sample" out all | tee out/table.txt

# Spectrograms up to 8 kHz, where the voice is.
spectrogram() {
  sox "$1" -n remix 1 rate 16k spectrogram -x 900 -y 257 -z 80 -t "$2" -o "$3"
}
spectrogram "$sample" "Input: bundled voice sample" out/input.png
"$build/tools/morindale-render" --list | while IFS=$'\t' read -r effect title; do
  if [ "$effect" = manual ]; then title="$title, $manual_pitch semitones"; fi
  spectrogram "out/$effect.wav" "$title" "out/$effect.png"
done
echo "out/: one .wav and one .png per effect, input.png for the sample, table.txt"

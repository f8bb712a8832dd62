#!/usr/bin/env bash
# The Windows stage. Cross-builds with mingw-w64 the win64 and the win32
# plug-in (their update host is 127.0.0.1 on a fixed port, where the tests'
# own server listens), the client emulator and the Wine test programs, each
# in its own folder (build-win64/, build-win32/); checks that each DLL
# exports exactly the entry points of src/plugin/exports.def and imports only
# DLLs that every Windows 10 and 11 has; renders every voice through the
# Linux plug-in for the comparison; then runs the programs under 64-bit Wine
# and again under 32-bit Wine, in one private prefix made for this run (Wine
# without an audio driver, a profile folder with a non-ASCII name). The
# monitor's playback through a sound server runs under 64-bit Wine only.
# Ends with one line: "wine: N passed, N failed".
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=${JOBS:-$(nproc)}
port=28765  # the update port of the Wine-test plug-in
programs=(lifecycle_test hotkeys_test chat_command_test voice_hook_test windows_test natural_voice_test)
# Under 32-bit Wine, the programs where 32 bits differ: the entry points'
# calling convention and the table by value (lifecycle), the samples sent
# (voice hook, the comparison with Linux, the natural voices' fingerprints)
# and the platform layer (windows_test). Hotkeys and the chat command are
# the same code on both; of the natural voices' tests the fingerprints
# suffice: the same samples measure the same.
programs32=(lifecycle_test voice_hook_test windows_test natural_voice_test)
allowed_imports='^(KERNEL32|WS2_32|WINMM|SHELL32|ADVAPI32|USER32|OLE32|MSVCRT|UCRTBASE|API-MS-WIN-CRT-[A-Z0-9-]+)\.DLL$'
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wine32=/usr/lib/wine/wine  # Debian's wine32:i386 (scripts/setup.sh tests)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)

passed=0
failed=0
pass() { echo "wine check $1: ok"; passed=$((passed + 1)); }
fail() { echo "wine check $1: FAILED${2:+ ($2)}"; failed=$((failed + 1)); }

bash scripts/fetch-debian-source.sh

# configure DIR TOOLCHAIN [cmake args...]: the toolchain only on the first run.
configure() {
  local dir=$1 toolchain=$2
  shift 2
  local args=("$@")
  [ -f "$dir/CMakeCache.txt" ] || args+=(-DCMAKE_TOOLCHAIN_FILE="$toolchain")
  cmake -S . -B "$dir" -G Ninja "${args[@]}" >/dev/null
}

echo "== Windows builds (mingw-w64)"
# The test builds carry no debug information: quicker to build, the same
# code (-O2) as the release build. Both are for today's client (API 26).
# A win32 folder configured before the toolchain chose SSE arithmetic keeps
# its old flags in the cache: it is made afresh.
if [ -f build-win32/CMakeCache.txt ] && ! grep -q -- '-mfpmath=sse' build-win32/CMakeCache.txt; then
  rm -rf build-win32
fi
for arch in x86_64 i686; do
  dir=build-win64
  targets=("${programs[@]}")
  [ "$arch" = i686 ] && dir=build-win32 && targets=("${programs32[@]}")
  configure "$dir" "cmake/mingw-w64-$arch.cmake" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" \
    -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" -DMORINDALE_PLUGIN_API=26 -DMORINDALE_BUILD_TESTS=ON \
    -DMORINDALE_BUILD_TOOLS=OFF -DMORINDALE_BUILD_BENCH=OFF \
    -DMORINDALE_UPDATE_HOST=127.0.0.1 -DMORINDALE_UPDATE_PORT=$port >/dev/null
  cmake --build "$dir" -j"$jobs" --target morindale "${targets[@]}"
done

echo "== exports and imports"
expected_exports=$(sed -nE 's/^[[:space:]]+(ts3plugin_[A-Za-z0-9_]+)[[:space:]]*$/\1/p' src/plugin/exports.def | sort)
check_dll() {
  local arch=$1 dll=$2 dump exports imports bad
  dump=$("$arch-w64-mingw32-objdump" -p "$dll")
  # Names as the client looks them up: no @N, no leading underscore.
  exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | sed -nE 's/^[[:space:]]*\[[[:space:]]*[0-9]+\] (.*)$/\1/p' | sort)
  if [ -n "$exports" ] && [ "$exports" = "$expected_exports" ]; then
    pass "$(basename "$dll") exports $(wc -l <<<"$exports") entry points, exactly exports.def"
  else
    fail "$(basename "$dll") exports" "$(diff <(echo "$expected_exports") <(echo "$exports") | head -n 5 | tr '\n' ' ')"
  fi
  imports=$(sed -nE 's/^[[:space:]]*DLL Name: (.*)$/\1/p' <<<"$dump" | tr '[:lower:]' '[:upper:]' | sort -u)
  bad=$(grep -vE "$allowed_imports" <<<"$imports" || true)
  if [ -n "$imports" ] && [ -z "$bad" ]; then
    pass "$(basename "$dll") imports only $(tr '\n' ' ' <<<"$imports")"
  else
    fail "$(basename "$dll") imports" "not on every Windows: $(tr '\n' ' ' <<<"$bad")"
  fi
}
check_dll x86_64 build-win64/morindale_win64.dll
check_dll i686 build-win32/morindale_win32.dll

work=$(mktemp -d)
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d"
pulse_pid=
cleanup() {
  [ -z "$pulse_pid" ] || kill "$pulse_pid" 2>/dev/null || true
  "$wineserver" -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

echo "== the Linux plug-in's renderings of the voice"
renderings="$work/linux"
mkdir -p "$renderings"
# The suite's uninstrumented plug-in (build-plain/) and any renderer that is
# already built; the renderer only hands the blocks over, so a sanitized one
# does as well. Without them, a Linux build of its own with just the two.
first() { for f in "$@"; do [ -e "$f" ] && { echo "$f"; return; }; done; return 0; }
linux_plugin=$(first build-plain/morindale_linux_amd64.so build/morindale_linux_amd64.so)
renderer=$(first build/tools/morindale-render build-asan/tools/morindale-render)
if [ -z "$linux_plugin" ] || [ -z "$renderer" ]; then
  cmake -S . -B build-wine-linux -G Ninja -DMORINDALE_BUILD_TESTS=OFF -DMORINDALE_BUILD_BENCH=OFF >/dev/null
  cmake --build build-wine-linux -j"$jobs" --target morindale morindale-render
  linux_plugin=build-wine-linux/morindale_linux_amd64.so
  renderer=build-wine-linux/tools/morindale-render
fi
echo "rendering with $renderer and $linux_plugin"
# 48 kHz mono already, so the renderer hands the samples over unchanged.
sox -D tests/data/voice-sample.wav -r 48000 -b 16 -c 1 "$renderings/input.wav" trim 0 4
for effect in helium male female baby mutation-slow mutation mutation-fast atari clone robotic myvoice \
  female-natural male-natural; do
  ASAN_OPTIONS=detect_leaks=0 "$renderer" --no-progress --plugin "$linux_plugin" \
    "$renderings/input.wav" "$renderings/$effect.wav" "$effect" >/dev/null
done

echo "== under Wine"
start=$(date +%s)
# One prefix for the stage; the user name gives the profile folder its
# non-ASCII name. No audio driver: the monitor's no-device path.
USER='morindale-tést' "$wine" wineboot -i >/dev/null 2>&1
"$wine" reg add 'HKCU\Software\Wine\Drivers' /v Audio /d '' /f >/dev/null 2>&1
echo "prefix ready in $(($(date +%s) - start)) s"
# run_program BITS NAME [ARGS...]: runs one test program of the 64- or
# 32-bit build and adds its counts; extra_env holds further NAME=value pairs
# for it.
extra_env=()
run_program() {
  local bits=$1 program=$2 loader=$wine dir=build-win64 log status ok bad
  shift 2
  if [ "$bits" = 32 ]; then loader=$wine32; dir=build-win32; fi
  log="$work/$program-$bits.log"
  set +e
  env USER='morindale-tést' MORINDALE_LINUX_RENDERINGS="$renderings" "${extra_env[@]}" \
    timeout 300 "$loader" "$dir/tests/$program.exe" "$@" >"$log" 2>&1
  status=$?
  set -e
  ok=$(sed -nE 's/^\[  PASSED  \] ([0-9]+) tests?\..*/\1/p' "$log" | tail -n 1)
  bad=$(sed -nE 's/^\[  FAILED  \] ([0-9]+) tests?, listed below:.*/\1/p' "$log" | tail -n 1)
  ok=${ok:-0}
  bad=${bad:-0}
  # A program that ends badly without a failed test (a crash, a hang) counts once.
  if [ "$status" -ne 0 ] && [ "$bad" -eq 0 ]; then bad=1; fi
  echo "$program ($bits bit) $*: $ok passed, $bad failed"
  grep -E ' samples, [0-9]+ differ' "$log" || true
  if [ "$bad" -ne 0 ]; then tail -n 60 "$log"; fi
  passed=$((passed + ok))
  failed=$((failed + bad))
}
if [ ! -x "$wine32" ]; then
  fail "32-bit Wine" "$wine32 is missing: run scripts/setup.sh tests"
fi
for bits in 64 32; do
  [ "$bits" = 32 ] && [ ! -x "$wine32" ] && continue
  bits_start=$(date +%s)
  run=("${programs[@]}")
  [ "$bits" = 32 ] && run=("${programs32[@]}")
  for program in "${run[@]}"; do
    if [ "$program" = windows_test ]; then
      run_program "$bits" "$program" --gtest_filter=-WindowsMonitorPlayback.*
    elif [ "$program" = natural_voice_test ] && [ "$bits" = 32 ]; then
      run_program "$bits" "$program" --gtest_filter=NaturalPlatforms.*
    else
      run_program "$bits" "$program"
    fi
  done
  echo "the $bits-bit runs took $(($(date +%s) - bits_start)) s"
done

# The monitor's playback through waveOut: Wine's PulseAudio driver and a
# sound server of this run's own, with only a null sink; nothing reaches the
# machine's sound server or card.
pulse="$work/pulse"
mkdir -p "$pulse/home" "$pulse/runtime"
env -i PATH=/usr/bin:/bin HOME="$pulse/home" XDG_CONFIG_HOME="$pulse/home/config" \
  XDG_RUNTIME_DIR="$pulse/runtime" LANG=C \
  pulseaudio -n --daemonize=no --system=false --exit-idle-time=-1 --realtime=false --high-priority=false \
  --use-pid-file=false --log-target=stderr \
  -L "module-null-sink sink_name=morindale_null rate=48000 channels=1 format=s16le" \
  -L "module-native-protocol-unix auth-anonymous=1 socket=$pulse/native" >"$pulse/log" 2>&1 &
pulse_pid=$!
for _ in $(seq 100); do [ -S "$pulse/native" ] && break; sleep 0.05; done
"$wine" reg add 'HKCU\Software\Wine\Drivers' /v Audio /d pulse /f >/dev/null 2>&1
pulse_env=(PULSE_SERVER="unix:$pulse/native" PULSE_COOKIE="$pulse/cookie" PULSE_CLIENTCONFIG="$pulse/client.conf")
env "${pulse_env[@]}" parec --device=morindale_null.monitor --raw --format=s16le --rate=48000 --channels=1 \
  "$pulse/recording.raw" 2>/dev/null &
recorder_pid=$!
extra_env=("${pulse_env[@]}")
run_program 64 windows_test --gtest_filter=WindowsMonitorPlayback.*
extra_env=()
kill "$recorder_pid" 2>/dev/null || true
wait "$recorder_pid" 2>/dev/null || true
# The voice reached the sink. A queue that never refills plays its first
# four buffers of silence and nothing else; how much of the speech arrives
# depends on how fast the null sink runs on a busy machine, so 10 voiced
# blocks (200 ms) are proof enough.
loud=$(python3 -c 'import sys, array
data = open(sys.argv[1], "rb").read()
a = array.array("h"); a.frombytes(data[: len(data) // 2 * 2])
print(sum(1 for i in range(0, len(a) - 959, 960) if max(abs(x) for x in a[i:i + 960]) > 1000))' \
  "$pulse/recording.raw" 2>/dev/null || echo 0)
if [ "$loud" -ge 10 ]; then
  pass "monitor playback reached the sound server: $loud voiced 20 ms blocks recorded"
else
  fail "monitor playback" "only ${loud:-0} voiced 20 ms blocks reached the null sink"
fi
kill "$pulse_pid" 2>/dev/null || true
wait "$pulse_pid" 2>/dev/null || true
pulse_pid=

echo "Wine runs took $(($(date +%s) - start)) s"

echo "wine: $passed passed, $failed failed"
[ "$failed" -eq 0 ]

#!/usr/bin/env bash
# Installs the test toolchain where missing, then builds and runs every test:
# every test program under AddressSanitizer + UndefinedBehaviorSanitizer; the
# few that need an uninstrumented library (allocation and system-call proofs,
# run-time dependencies, the package) in a plain build; the concurrency tests
# under ThreadSanitizer; a representative part against the plug-in API 26
# build, which also starts the libraries of APIs 21, 23 and 24 and checks
# their symbols; the Windows build under Wine (64 and 32 bit); the fuzz targets for a bounded time;
# and the README's own commands. Ends with one line:
# "N passed, N failed, N skipped".
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh tests

jobs=$(nproc)
# Test programs that need a library without sanitizers.
PLAIN_TESTS='^(voice_realtime_test|library_dependencies_test|package_test|exports_test)$'
# Test programs with concurrency tests ("Concurren" in their names).
TSAN_TESTS='^(lifecycle_test|voice_concurrency_test|monitor_concurrency_test|chat_command_test|settings_atomic_test|http_socket_test|update_check_test|update_plugin_test)$'
# Test programs that run against the API 26 build too: lifecycle, symbols
# and package, a voice block, a hotkey with its message and settings write,
# the chat command, the info panel and the diagnostics. (The update check
# calls nothing that differs between the APIs; the API 20 stages cover it.)
API26_TESTS='^(lifecycle_test|exports_test|package_test|entry_points_test|voice_hook_test|hotkeys_test|settings_file_test|chat_command_test|info_panel_test|diagnostics_test)$'

passed=0
failed=0
skipped=0

# run_ctest BUILD_DIR [ctest args...]: runs ctest there, adds its counts and
# names every skipped test with its reason.
run_ctest() {
  local dir=$1; shift
  local log
  log=$(mktemp)
  set +e
  (cd "$dir" && ctest -j"$jobs" --output-on-failure --no-tests=ignore "$@") 2>&1 | tee "$log"
  local status=${PIPESTATUS[0]}
  set -e
  local counts
  counts=$(python3 scripts/ctest-counts.py "$log" "$dir/Testing/Temporary/LastTest.log")
  read -r p f s <<<"$(tail -n 1 <<<"$counts")"
  sed '$d' <<<"$counts"
  if [ $((p + f + s)) -eq 0 ] && [ "$status" -ne 0 ]; then f=1; fi
  passed=$((passed + p)); failed=$((failed + f)); skipped=$((skipped + s))
  rm -f "$log"
}

# configure_and_build BUILD_DIR [cmake args...] [-- targets...]
configure_and_build() {
  local dir=$1; shift
  local args=() targets=()
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do args+=("$1"); shift; done
  [ $# -gt 0 ] && shift
  targets=("$@")
  cmake -S . -B "$dir" -G Ninja "${args[@]}" >/dev/null
  if [ ${#targets[@]} -gt 0 ]; then
    cmake --build "$dir" -j"$jobs" --target "${targets[@]}"
  else
    cmake --build "$dir" -j"$jobs"
  fi
}

# Build flags of the stages: the sanitizer stages at -O1 with line tables
# only (what the sanitizers need for their reports, and quick to compile),
# the plain stages at -O2 without debug information.
SANITIZED=(-DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG")
PLAIN=(-DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG")
# The other APIs' builds check declarations and call order, not speed: -O1
# compiles sooner, and the samples are the same (no fast maths outside
# SoundTouch, which keeps its own flags).
QUICK=(-DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -DNDEBUG")
started=$SECONDS
stage() { echo "== $1 (at $((SECONDS - started)) s)"; }

# The test programs a label regex '^(a|b)$' names, as build targets.
programs() { sed -E 's/^\^\((.*)\)\$$/\1/' <<<"$1" | tr '|' ' '; }

stage "AddressSanitizer + UndefinedBehaviorSanitizer (every test program)"
configure_and_build build-asan "${SANITIZED[@]}" -DMORINDALE_PLUGIN_API=20 -DMORINDALE_SANITIZE=address -DMORINDALE_BUILD_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1 run_ctest build-asan

stage "plain build (allocations, system calls, run-time dependencies, package)"
configure_and_build build-plain "${PLAIN[@]}" -DMORINDALE_PLUGIN_API=20 -DMORINDALE_BUILD_TOOLS=OFF \
  -- morindale menu-icons morindale-bench $(programs "$PLAIN_TESTS")
run_ctest build-plain -L "$PLAIN_TESTS"

stage "ThreadSanitizer (concurrency tests)"
configure_and_build build-tsan "${SANITIZED[@]}" -DMORINDALE_PLUGIN_API=20 -DMORINDALE_SANITIZE=thread -DMORINDALE_BUILD_BENCH=OFF \
  -DMORINDALE_BUILD_TOOLS=OFF -- morindale $(programs "$TSAN_TESTS")
run_ctest build-tsan -L "$TSAN_TESTS" -R Concurren

stage "plug-in API 26 build (representative tests), and the libraries of APIs 21, 23 and 24"
configure_and_build build-api26 "${QUICK[@]}" -DMORINDALE_PLUGIN_API=26 -DMORINDALE_BUILD_BENCH=OFF \
  -DMORINDALE_BUILD_TOOLS=OFF -- morindale menu-icons $(programs "$API26_TESTS")
# The other client lines' libraries alone; the API 26 lifecycle test starts
# each as its client does (MORINDALE_API_PLUGINS), and the exports test
# checks each one's symbols.
api_plugins=""
for api in 21 23 24; do
  configure_and_build build-api$api "${QUICK[@]}" -DMORINDALE_PLUGIN_API=$api -DMORINDALE_BUILD_TESTS=OFF \
    -DMORINDALE_BUILD_TOOLS=OFF -DMORINDALE_BUILD_BENCH=OFF -- morindale
  api_plugins+=" $api=$PWD/build-api$api/morindale_linux_amd64.so"
done
MORINDALE_API_PLUGINS="${api_plugins# }" run_ctest build-api26 -L "$API26_TESTS"
for api in 21 23 24; do
  MORINDALE_PLUGIN_FILE="$PWD/build-api$api/morindale_linux_amd64.so" run_ctest build-api26 -L '^exports_test$'
done

if [ -f scripts/run-wine-tests.sh ]; then
  stage "Windows build under Wine"
  set +e
  wine_log=$(mktemp)
  bash scripts/run-wine-tests.sh 2>&1 | tee "$wine_log"
  set -e
  line=$(grep -E '^wine: [0-9]+ passed, [0-9]+ failed' "$wine_log" | tail -n 1 || true)
  rm -f "$wine_log"
  if [ -n "$line" ]; then
    passed=$((passed + $(sed -E 's/^wine: ([0-9]+) passed.*/\1/' <<<"$line")))
    failed=$((failed + $(sed -E 's/^wine: [0-9]+ passed, ([0-9]+) failed.*/\1/' <<<"$line")))
  else
    echo "wine stage: no result line"; failed=$((failed + 1))
  fi
fi

stage "fuzz targets (${FUZZ_SECONDS:=8} s each)"
CC=clang CXX=clang++ configure_and_build build-fuzz "${SANITIZED[@]}" -DMORINDALE_FUZZ=ON -DMORINDALE_SANITIZE=address \
  -DMORINDALE_BUILD_TESTS=OFF -DMORINDALE_BUILD_TOOLS=OFF -DMORINDALE_BUILD_BENCH=OFF
for fuzzer in build-fuzz/tests/fuzz/*_fuzz; do
  [ -x "$fuzzer" ] || continue
  name=$(basename "$fuzzer")
  corpus=$(mktemp -d)
  cp -r "tests/fuzz/corpus/$name/." "$corpus/" 2>/dev/null || true
  # Leaks are the ASan stage's to find (every test program runs there with
  # detect_leaks=1). Here LeakSanitizer's stop-the-world tracer once died of
  # a signal 11 of its own while the plug-in's background threads ran, which
  # said nothing about the input. A crash input goes beside the log.
  if ASAN_OPTIONS=detect_leaks=0 "$fuzzer" -max_total_time="$FUZZ_SECONDS" -print_final_stats=0 \
    -artifact_prefix="$corpus.crash-" "$corpus" >"$corpus.log" 2>&1; then
    echo "fuzz $name: ok"; passed=$((passed + 1))
  else
    echo "fuzz $name: FAILED"; tail -n 40 "$corpus.log"; failed=$((failed + 1))
  fi
  rm -rf "$corpus" "$corpus.log" "$corpus".crash-*
done

stage "README commands"
if bash scripts/check-readme-commands.sh; then passed=$((passed + 1)); else failed=$((failed + 1)); fi

echo "all stages: $((SECONDS - started)) s"
echo "$passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]

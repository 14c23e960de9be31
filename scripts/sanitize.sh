#!/usr/bin/env bash
# The whole CTest suite under AddressSanitizer + UndefinedBehaviorSanitizer, in
# a build folder of its own, then the serial component's, the terminal's and
# the history's tests under ThreadSanitizer (their targets comm_tests_tsan,
# terminal_tests_tsan and history_tests_tsan, in <build>/sanitize-thread). Any
# report fails the run.
#
#   scripts/sanitize.sh [BUILD_DIR]      (default: build-sanitize)
#
# The fuzz smoke test is left out: its targets carry the same sanitizers.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-sanitize}

cmake -S "$root" -B "$build" -G Ninja -DDRALVO_SANITIZE=address,undefined \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2

export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$root/tests/comm/lsan.supp
QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" --output-on-failure -j2 --timeout 600 \
  -E '^(fuzz_replay|vmlab.*)$'

unset ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS
cmake --build "$build" --target comm_tests_tsan terminal_tests_tsan history_tests_tsan

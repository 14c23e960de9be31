#!/usr/bin/env bash
# Builds the fuzz targets of the token reader and the configuration string with
# clang (libFuzzer + AddressSanitizer) and runs each for a while.
#
#   scripts/fuzz.sh [--seconds N] [--build-dir DIR]
#
# Defaults: 20 seconds per target, build directory build-fuzz. The corpus grows
# in DIR/corpus; a failure leaves its input in DIR/artifacts and fails the run.
# Exits with 77 (skipped) when clang++ is not installed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=20
build="$root/build-fuzz"
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    --build-dir) build=$2; shift 2 ;;
    *) echo "usage: $0 [--seconds N] [--build-dir DIR]" >&2; exit 2 ;;
  esac
done

if ! command -v clang++ >/dev/null; then
  echo "fuzz.sh: clang++ is not installed; skipping" >&2
  exit 77
fi

generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root/tests/fuzz" -B "$build" "${generator[@]}" \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE= >/dev/null
fi
cmake --build "$build" -j2 >/dev/null

mkdir -p "$build/artifacts"
export QT_QPA_PLATFORM=offscreen
for target in fuzz_tokens fuzz_config; do
  corpus="$build/corpus/$target"
  log="$build/$target.log"
  mkdir -p "$corpus"
  echo "== $target: $seconds s"
  if ! "$build/$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="$build/artifacts/$target-" -print_final_stats=1 \
      "$corpus" "$root/tests/fuzz/seeds/$target" >"$log" 2>&1; then
    tail -n 60 "$log" >&2
    echo "$target found a failure; its input is in $build/artifacts" >&2
    exit 1
  fi
  grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$log" || true
done

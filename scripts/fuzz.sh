#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer + AddressSanitizer +
# UndefinedBehaviorSanitizer) and runs one of them, or each in turn.
#
#   scripts/fuzz.sh [--build-dir DIR] [--seconds N] [--replay] [TARGET [SECONDS]]
#
# Targets: fuzz_tokens fuzz_config fuzz_regtext fuzz_version fuzz_receive
# fuzz_hexline fuzz_control; without TARGET all run. Defaults: 20 seconds per
# target, build directory build-fuzz. Each run starts from the seed corpus in
# tests/fuzz/seeds/TARGET and grows its corpus in DIR/corpus/TARGET; a failure
# leaves its input in DIR/artifacts, copies it into the seed folder (commit it
# with the fix: from then on every replay runs it) and fails the run. Prints
# the executions, the corpus size and the peak memory of each run.
#
# --replay runs each seed once and mutates nothing: the same inputs every
# time, so it fails only when the code changed (what CTest runs).
#
# Exits with 77 (skipped) when clang++ is not installed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
all=(fuzz_tokens fuzz_config fuzz_regtext fuzz_version fuzz_receive fuzz_hexline fuzz_control)
seconds=20
build="$root/build-fuzz"
targets=()
replay=0
usage() {
  echo "usage: $0 [--build-dir DIR] [--seconds N] [--replay] [TARGET [SECONDS]]" >&2
  echo "targets: ${all[*]}" >&2
  exit 2
}
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    --build-dir) build=$2; shift 2 ;;
    --replay) replay=1; shift ;;
    fuzz_*)
      [[ " ${all[*]} " == *" $1 "* ]] || usage
      targets=("$1"); shift
      if [ $# -gt 0 ] && [[ "$1" =~ ^[0-9]+$ ]]; then seconds=$1; shift; fi ;;
    *) usage ;;
  esac
done
[ ${#targets[@]} -gt 0 ] || targets=("${all[@]}")

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
cmake --build "$build" -j2 --target "${targets[@]}" >/dev/null

mkdir -p "$build/artifacts"
export QT_QPA_PLATFORM=offscreen
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
if [ $replay -eq 1 ]; then
  for target in "${targets[@]}"; do
    seeds=("$root/tests/fuzz/seeds/$target"/*)
    log="$build/$target.replay.log"
    if ! "$build/$target" -timeout=10 -rss_limit_mb=2048 "${seeds[@]}" >"$log" 2>&1; then
      tail -n 60 "$log" >&2
      echo "$target fails on one of its seeds (tests/fuzz/seeds/$target)" >&2
      exit 1
    fi
    echo "$target: ${#seeds[@]} seeds replayed"
  done
  exit 0
fi

for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  log="$build/$target.log"
  mkdir -p "$corpus"
  echo "== $target: $seconds s"
  if ! "$build/$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="$build/artifacts/$target-" -print_final_stats=1 \
      "$corpus" "$root/tests/fuzz/seeds/$target" >"$log" 2>&1; then
    tail -n 60 "$log" >&2
    for input in "$build/artifacts/$target-"*; do
      [ -f "$input" ] || continue
      name=$(basename "$input")
      cp "$input" "$root/tests/fuzz/seeds/$target/${name#"$target-"}"
      echo "kept as a seed: tests/fuzz/seeds/$target/${name#"$target-"}" >&2
      mv "$input" "$input.kept"
    done
    echo "$target found a failure; its input is in $build/artifacts" >&2
    exit 1
  fi
  grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$log" || true
  echo "corpus: $(find "$corpus" -type f | wc -l) inputs"
done

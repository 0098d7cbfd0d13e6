#!/usr/bin/env bash
# scripts/fuzz.sh [SECONDS] [TARGET...]
# Builds the libFuzzer targets of fuzz/ with clang (in build-fuzz, or $CH_FUZZ_BUILD) and runs
# each for SECONDS (default 30), starting from its seed corpus fuzz/corpus/<target without
# "fuzz_">. A crash, a leak, a hang (an input taking over 10 s) or a broken property fails the
# run and prints the input that caused it in hex, with the command that replays it.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-30}"
[ $# -gt 0 ] && shift
build="${CH_FUZZ_BUILD:-$root/build-fuzz}"

"$root/scripts/build.sh" "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCH_FUZZ=ON -DCH_BUILD_TESTS=OFF -DCH_WERROR=ON -- fuzzers

targets=("$@")
[ ${#targets[@]} -gt 0 ] || mapfile -t targets < "$build/fuzz/fuzz-targets.txt"

export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
failed=()
for target in "${targets[@]}"; do
  seeds="$root/fuzz/corpus/${target#fuzz_}"
  work="$build/fuzz/work/$target"
  rm -rf "$work"
  mkdir -p "$work/corpus" "$work/artifacts"
  echo "== fuzz $target: ${seconds} s"
  # New inputs go to the work corpus; the seeds in the tree are only read.
  if "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
      -artifact_prefix="$work/artifacts/" "$work/corpus" "$seeds" > "$work/log" 2>&1; then
    grep -E '^Done [0-9]+ runs' "$work/log" || true
    continue
  fi
  failed+=("$target")
  tail -n 60 "$work/log"
  for input in "$work"/artifacts/*; do
    [ -f "$input" ] || continue
    echo "-- $target failed on $(basename "$input") ($(stat -c %s "$input") bytes), replay: $build/fuzz/$target $input"
    od -An -tx1 -v "$input"
  done
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz.sh: failed: ${failed[*]}" >&2
  exit 1
fi
echo "fuzz.sh: ${targets[*]}: ${seconds} s each without a failure"

#!/usr/bin/env bash
# scripts/build.sh BUILD_DIR [cmake options...] -- [targets...]
# Configures (Ninja) and builds; with no targets after "--" builds everything.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="$1"; shift
options=(); targets=()
while [ $# -gt 0 ]; do
  if [ "$1" = "--" ]; then shift; targets=("$@"); break; fi
  options+=("$1"); shift
done
jobs="${CH_JOBS:-2}"
cmake -S "$root" -B "$dir" -G Ninja "${options[@]}"
if [ ${#targets[@]} -gt 0 ]; then
  cmake --build "$dir" -j "$jobs" --target "${targets[@]}"
else
  cmake --build "$dir" -j "$jobs"
fi

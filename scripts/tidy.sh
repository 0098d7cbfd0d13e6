#!/usr/bin/env bash
# Runs clang-tidy (the checks in .clang-tidy) over the library and zapl sources of a configured
# build folder; fails on any finding. Platform files of other systems are not compiled here.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:?usage: tidy.sh BUILD_DIR}"
cd "$root"
mapfile -t files < <(find src tools -name '*.cpp' ! -name '*_win.cpp' | sort)
printf '%s\n' "${files[@]}" | xargs -P "$(nproc)" -n 8 clang-tidy -p "$build" --quiet 2>/dev/null \
  | grep -E '(error|warning):' && { echo "tidy: findings above" >&2; exit 1; }
echo "tidy: ${#files[@]} files clean"

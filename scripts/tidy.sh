#!/usr/bin/env bash
# scripts/tidy.sh BUILD_DIR [FILE...]
# Runs clang-tidy (the checks in .clang-tidy, where every finding is an error) over the library
# and zapl sources of a configured build folder, or over the files given, in parallel. Fails
# when any run fails, and shows the output of the failed runs only. Platform files of other
# systems are not compiled here.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:?usage: tidy.sh BUILD_DIR [FILE...]}" && pwd)"
shift
cd "$root"
if [ $# -gt 0 ]; then
  files=("$@")
else
  mapfile -t files < <(find src tools -name '*.cpp' ! -name '*_win.cpp' | sort)
fi
logs="$(mktemp -d)"
trap 'rm -rf "$logs"' EXIT

# Judged by clang-tidy's exit status. Each batch writes into a file of its own so that parallel
# runs do not interleave; the file is kept only when the batch failed.
status=0
printf '%s\n' "${files[@]}" | xargs -d '\n' -P "$(nproc)" -n 8 sh -c '
  build="$1"; logs="$2"; shift 2
  log="$(mktemp "$logs/failed.XXXXXX")"
  if clang-tidy -p "$build" --quiet "$@" >"$log" 2>&1; then
    rm -f "$log"
  else
    code=$?
    printf "== clang-tidy exited with %s on: %s\n" "$code" "$*" >>"$log"
    exit 1
  fi' tidy "$build" "$logs" || status=$?

if [ "$status" -ne 0 ]; then
  cat "$logs"/failed.* 2>/dev/null || true
  echo "tidy: failed (xargs exit status $status), output above" >&2
  exit 1
fi
echo "tidy: ${#files[@]} files clean"

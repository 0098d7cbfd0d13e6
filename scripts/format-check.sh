#!/usr/bin/env bash
# Fails when any C or C++ file under src, tools or tests differs from its clang-format form.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
mapfile -t files < <(find src tools tests fuzz examples bench -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) | sort)
clang-format --dry-run --Werror "${files[@]}"
echo "format-check: ${#files[@]} files clean"

#!/usr/bin/env bash
# The whole check: formatting, a Qt 5 build with warnings as errors and its tests, then a Qt 6
# build with AddressSanitizer + UndefinedBehaviorSanitizer and its tests.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup-deps.sh"
"$root/scripts/format-check.sh"

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:strict_string_checks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

echo "== Qt 5, warnings as errors"
"$root/scripts/build.sh" "$root/build-ci-qt5" -DCH_QT_VERSION=5 -DCH_WERROR=ON
(cd "$root/build-ci-qt5" && ctest --output-on-failure -j2)

echo "== Qt 6, AddressSanitizer + UndefinedBehaviorSanitizer"
"$root/scripts/build.sh" "$root/build-ci-qt6-asan" -DCH_QT_VERSION=6 -DCH_WERROR=ON -DCH_SANITIZE=address,undefined
(cd "$root/build-ci-qt6-asan" && ctest --output-on-failure -j2)
echo "test.sh: all passed"

#!/usr/bin/env bash
# The whole check: formatting, a Qt 5 build with warnings as errors, clang-tidy and the tests;
# a Qt 6 build with AddressSanitizer + UndefinedBehaviorSanitizer and the tests; the threaded
# parts (module scan, serial simulator, SPI reader thread, virtual store) under ThreadSanitizer.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup-deps.sh"
"$root/scripts/format-check.sh"

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:strict_string_checks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

echo "== Qt 5, warnings as errors"
"$root/scripts/build.sh" "$root/build-ci-qt5" -DCH_QT_VERSION=5 -DCH_WERROR=ON
(cd "$root/build-ci-qt5" && ctest --output-on-failure -j2)
"$root/scripts/tidy.sh" "$root/build-ci-qt5"

echo "== Qt 6, AddressSanitizer + UndefinedBehaviorSanitizer"
"$root/scripts/build.sh" "$root/build-ci-qt6-asan" -DCH_QT_VERSION=6 -DCH_WERROR=ON -DCH_SANITIZE=address,undefined
(cd "$root/build-ci-qt6-asan" && ctest --output-on-failure -j2)
echo "== Qt 5, ThreadSanitizer (threaded parts)"
threaded=(tst_devicefinder tst_serialhandler tst_ft4222handler tst_ft4222debugger tst_virtualhandler)
"$root/scripts/build.sh" "$root/build-ci-tsan" -DCH_QT_VERSION=5 -DCH_WERROR=ON -DCH_SANITIZE=thread \
  -- "${threaded[@]}" fake_ftd2xx fake_ft4222
(cd "$root/build-ci-tsan" && ctest --output-on-failure -j2 -R "^($(IFS='|'; echo "${threaded[*]}"))\$")
echo "test.sh: all passed"

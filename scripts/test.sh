#!/usr/bin/env bash
# The whole check: formatting, a Qt 5 build with warnings as errors, clang-tidy and the tests;
# a Qt 6 build with AddressSanitizer + UndefinedBehaviorSanitizer and the tests; every test that
# runs a second thread under ThreadSanitizer.
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
echo "== Qt 5, ThreadSanitizer (every thread the project starts)"
# Tests that run a second thread: the serial and SLCAN simulators, the module scan (also inside
# zapl scan, so zapl is built with ThreadSanitizer too), the CANopen node's heartbeat on the
# simulated bus and on each vendor fake's bus, the SPI reader thread, the virtual store and the
# thread registry; and the hot-plug monitor, which works in its owner's thread beside them. The
# vendor fakes come with the tests that load them.
threaded=(tst_serialhandler tst_devicefinder tst_zaplserial
  tst_slcaninterface tst_canslcanhandler tst_canmuting tst_zaplslcan tst_canopenslcan
  tst_canopenservices tst_canopenkvaser tst_canopenpeak tst_canopenesd tst_canopenixxat tst_zaplcanopen
  tst_zaplvendors tst_peripherymanager
  tst_ft4222handler tst_ft4222debugger tst_zaplspi tst_virtualhandler tst_services)
"$root/scripts/build.sh" "$root/build-ci-tsan" -DCH_QT_VERSION=5 -DCH_WERROR=ON -DCH_SANITIZE=thread \
  -- "${threaded[@]}" zapl
(cd "$root/build-ci-tsan" && ctest --output-on-failure -j2 -R "^($(IFS='|'; echo "${threaded[*]}"))\$")
echo "test.sh: all passed"

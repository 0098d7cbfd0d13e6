#!/usr/bin/env bash
# The whole check, stage by stage (each says how long it took):
#  1. formatting;
#  2. Qt 5 with warnings as errors: the suite (SocketCAN tests inside a qemu guest among it), clang-tidy;
#  3. Qt 6 with AddressSanitizer + UndefinedBehaviorSanitizer: the suite, and the Qt 5 and Qt 6
#     installs side by side with example hosts built against them;
#  4. ThreadSanitizer over every test that starts a thread;
#  5. a headless build without Qt Widgets;
#  6. the libFuzzer targets, 30 s each;
#  7. the Windows compile and link with MinGW-w64;
#  8. the API reference, which fails on any Doxygen warning;
#  9. the Debian packages: built, installed, used and purged.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup-deps.sh"

started=$SECONDS
stage() {
  [ -n "${stage_name:-}" ] && echo "== $stage_name: $((SECONDS - stage_start)) s"
  stage_name="$1"
  stage_start=$SECONDS
  [ -n "$1" ] && echo "== $1"
  return 0
}

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:strict_string_checks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

stage "formatting"
"$root/scripts/format-check.sh"
# The guest kernel for the SocketCAN tests, fetched once per machine; without it they skip.
"$root/scripts/qemu-kernel.sh" >/dev/null || true

stage "Qt 5, warnings as errors"
"$root/scripts/build.sh" "$root/build-ci-qt5" -DCH_QT_VERSION=5 -DCH_WERROR=ON
(cd "$root/build-ci-qt5" && ctest --output-on-failure -j2)
"$root/scripts/tidy.sh" "$root/build-ci-qt5"

stage "Qt 6, AddressSanitizer + UndefinedBehaviorSanitizer"
"$root/scripts/build.sh" "$root/build-ci-qt6-asan" -DCH_QT_VERSION=6 -DCH_WERROR=ON -DCH_SANITIZE=address,undefined \
  -DCH_INSTALL_TEST_PEER="$root/build-ci-qt5"
(cd "$root/build-ci-qt6-asan" && ctest --output-on-failure -j2)

stage "Qt 5, ThreadSanitizer (every thread the project starts)"
# Tests that run a second thread: the serial and SLCAN simulators, the module scan (also inside
# zapl scan, so zapl is built with ThreadSanitizer too), the CANopen node's heartbeat on the
# simulated bus, on each vendor fake's bus and on a Qt SerialBus bus, the SPI reader thread, the
# virtual store and the thread registry; and the hot-plug monitor, which works in its owner's
# thread beside them. The vendor fakes come with the tests that load them.
threaded=(tst_serialhandler tst_devicefinder tst_zaplserial
  tst_slcaninterface tst_canslcanhandler tst_canmuting tst_zaplslcan tst_canopenslcan
  tst_canopenservices tst_canopenkvaser tst_canopenpeak tst_canopenesd tst_canopenixxat tst_zaplcanopen
  tst_zaplvendors tst_peripherymanager tst_qtcanhandlers
  tst_ft4222handler tst_ft4222debugger tst_zaplspi tst_virtualhandler tst_services)
"$root/scripts/build.sh" "$root/build-ci-tsan" -DCH_QT_VERSION=5 -DCH_WERROR=ON -DCH_SANITIZE=thread \
  -DCH_QEMU_TESTS=OFF -- "${threaded[@]}" zapl
(cd "$root/build-ci-tsan" && ctest --output-on-failure -j2 -R "^($(IFS='|'; echo "${threaded[*]}"))\$")

stage "Qt 5 without Widgets (headless hosts)"
"$root/scripts/build.sh" "$root/build-ci-headless" -DCH_QT_VERSION=5 -DCH_WERROR=ON -DCH_WIDGETS=OFF \
  -DCH_QEMU_TESTS=OFF -- commandhandler tst_headlesscritical tst_logcategories
(cd "$root/build-ci-headless" && ctest --output-on-failure -R '^(library_dependencies|tst_headlesscritical|tst_logcategories)$')

stage "fuzz targets (clang, libFuzzer), 30 s each"
CH_FUZZ_BUILD="$root/build-ci-fuzz" "$root/scripts/fuzz.sh" 30
clang-tidy -p "$root/build-ci-fuzz" --quiet "$root"/fuzz/*.cpp

stage "Windows (MinGW-w64 against the host's Qt headers): compile, link, clang-tidy"
CH_WINDOWS_BUILD="$root/build-ci-windows" "$root/scripts/windows-check.sh"

stage "API reference (Doxygen; any warning fails)"
cmake --build "$root/build-ci-qt5" --target docs

stage "Debian packages: built, installed, used, purged"
"$root/scripts/package-check.sh" "$root/build-ci-qt5"

stage ""
echo "test.sh: all passed in $((SECONDS - started)) s"

#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the demo and the tests need (only those missing).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  qtbase5-dev libqt5serialport5-dev libqt5serialbus5-dev libqt5serialbus5-plugins
  qt6-base-dev qt6-serialport-dev qt6-serialbus-dev
  help2man doxygen
  libudev-dev python3-can clang-format clang-tidy file
  # SocketCAN tests boot a Debian kernel (fetched by scripts/qemu-kernel.sh) with a busybox userland.
  qemu-system-x86 busybox-static xz-utils
  clang libclang-rt-14-dev                                  # scripts/fuzz.sh (libFuzzer)
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix       # scripts/windows-check.sh
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "setup-deps: run as root or install sudo (missing: ${missing[*]})" >&2; exit 1; }
  sudo=sudo
fi
echo "setup-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"

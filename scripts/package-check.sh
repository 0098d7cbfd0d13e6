#!/usr/bin/env bash
# scripts/package-check.sh [BUILD_DIR] [cmake options...]
# Makes the Debian packages (`cpack -G DEB`), installs them with dpkg, runs the installed zapl,
# builds an example host against the installed library (CMake package and pkg-config) and runs
# it against zapl's simulator, then purges the packages again, also when a step fails, so that
# nothing after this check finds the installed copy. Needs root (or sudo) for dpkg.
# BUILD_DIR defaults to build-package; an existing build (e.g. the Qt 5 CI build) is reconfigured
# for the package and only relinks.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-package}"
shift $(($# > 0 ? 1 : 0))

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "package-check: run as root or install sudo" >&2; exit 1; }
  sudo=sudo
fi

# The Debian package carries the stand-in Velmora library: its zapl links it, and Debian has no
# other one.
"$root/scripts/build.sh" "$build" -DCMAKE_INSTALL_PREFIX=/usr -DCH_INSTALL_VELMORA=ON "$@" -- commandhandler zapl
qt="$(sed -n 's/^CH_QT_VERSION:STRING=//p' "$build/CMakeCache.txt")"
library="libcommandhandler-qt$qt"
packages=("$library" "$library-dev" zapl)
for p in "${packages[@]}"; do
  if dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    echo "package-check: $p is installed already; remove it first (dpkg -r $p)" >&2
    exit 1
  fi
done

rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB)
mapfile -t debs < <(ls "$build"/*.deb)
for deb in "${debs[@]}"; do
  echo "== $(basename "$deb")"
  dpkg-deb --field "$deb" Package Version Depends
done

work="$(mktemp -d)"
remove() {
  # Purged, not only removed: the library package's ldconfig scripts would keep it listed.
  $sudo dpkg --purge "${packages[@]}" >/dev/null || true
  rm -rf "$work"
}
trap remove EXIT
$sudo dpkg -i "${debs[@]}"

echo "== installed zapl"
if zapl_version="$(/usr/bin/zapl --version 2>&1)"; then
  echo "$zapl_version"
else
  echo "package-check: zapl has no --version yet, running zapl --help instead"
  /usr/bin/zapl --help >"$work/help"
  head -n 1 "$work/help"
fi

echo "== example hosts against the installed package"
examples="/usr/share/doc/commandhandler-qt$qt/examples"
for method in cmake pkgconfig; do
  option=OFF
  [ "$method" = pkgconfig ] && option=ON
  cmake -S "$examples" -B "$work/$method" -G Ninja -DCH_QT_VERSION="$qt" -DCH_EXAMPLES_PKGCONFIG=$option \
    -DCH_EXAMPLES_ZAPL=/usr/bin/zapl >/dev/null
  cmake --build "$work/$method" >/dev/null
  libraries="$(ldd "$work/$method/serial_request")"
  grep -Eq "$library.so.1 => (/usr)?/lib/" <<<"$libraries" || {
    echo "package-check: the example does not use the installed library:" >&2
    echo "$libraries" >&2
    exit 1
  }
  (cd "$work/$method" && ctest --output-on-failure)
done
# A host with a plain compiler command line.
c++ -std=c++17 -fPIC -o "$work/serial_request" "$examples/serial_request.cpp" \
  $(pkg-config --cflags --libs "commandhandler-qt$qt")
"$examples/run-example.sh" /usr/bin/zapl serial "status 100, value 1000" "$work/serial_request"

trap - EXIT
remove
for p in "${packages[@]}"; do
  if dpkg-query -W "$p" >/dev/null 2>&1; then
    echo "package-check: $p is still known to dpkg" >&2
    exit 1
  fi
done
[ ! -e /usr/bin/zapl ] || { echo "package-check: /usr/bin/zapl is left behind" >&2; exit 1; }
echo "package-check: ${#debs[@]} packages built, installed, used and removed"

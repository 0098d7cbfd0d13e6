#!/usr/bin/env bash
# Builds zapl (Qt 5) and sends a write and a read to the virtual module, showing the frames.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup-deps.sh"
"$root/scripts/build.sh" "$root/build-demo" -DCH_BUILD_TESTS=OFF -- zapl
set -x
"$root/build-demo/bin/zapl" --verbose send "SAP 4 0 1000" "GAP 4 0 0"
"$root/build-demo/bin/zapl" mnemonics | head -n 8

#!/usr/bin/env bash
# Runs the user-interface tests of the Windows build under Wine on Xvfb (CTest label
# ui-integration) and copies the screenshots they take to docs/screenshots/.
#
# Usage: scripts/screenshots.sh [BUILD_DIR]   (default: build/windows, configured when missing)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build/windows}")

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" -j2 --target ui_win_test CorvidOpcDa uidriver corvidsim
rm -rf "$build/screenshots"
ctest --test-dir "$build" -L ui-integration --output-on-failure
mkdir -p "$root/docs/screenshots"
cp "$build"/screenshots/*.png "$root/docs/screenshots/"
ls -1 "$root/docs/screenshots"

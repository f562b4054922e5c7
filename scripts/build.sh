#!/usr/bin/env bash
# Configures and builds everything into build/ (or $BUILD_DIR).
set -euo pipefail
root=$(realpath "$(dirname "$0")/..")
build=$(realpath -m "${BUILD_DIR:-$root/build}")
cmake -S "$root" -B "$build" \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/i686-w64-mingw32.cmake" \
  -DWARNINGS_AS_ERRORS=ON >/dev/null
cmake --build "$build" -j2

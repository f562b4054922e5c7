#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test under Wine.
# Exits non-zero on any failure.
set -euo pipefail
root=$(realpath "$(dirname "$0")/..")
build=$(realpath -m "${BUILD_DIR:-$root/build}")
"$root/scripts/setup.sh"
# The tests' Wine prefix is made while the build runs: it needs nothing
# built, and where 32-bit code is emulated it takes minutes of one core.
# (The wine_prefix test then finds it ready.)
mkdir -p "$build"
"$root/scripts/wine-prefix.sh" "$build/wineprefix" >"$build/wine-prefix.log" 2>&1 &
prefix=$!
status=0
"$root/scripts/build.sh" || status=$?
if ! wait "$prefix"; then
  echo "test: the Wine prefix could not be made:" >&2
  cat "$build/wine-prefix.log" >&2
  exit 1
fi
[ "$status" = 0 ] || exit "$status"
ctest --test-dir "$build" -j2 --output-on-failure

#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test under Wine.
# Exits non-zero on any failure.
set -euo pipefail
root=$(realpath "$(dirname "$0")/..")
build=$(realpath -m "${BUILD_DIR:-$root/build}")
"$root/scripts/setup.sh"
"$root/scripts/build.sh"
ctest --test-dir "$build" -j2 --output-on-failure

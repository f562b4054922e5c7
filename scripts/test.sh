#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test under Wine.
# Exits non-zero on any failure.
set -euo pipefail
root=$(realpath "$(dirname "$0")/..")
build=$(realpath -m "${BUILD_DIR:-$root/build}")
"$root/scripts/setup.sh"
"$root/scripts/build.sh"
# Where 32-bit Wine runs under qemu (see README), a Wine process very rarely
# hangs or crashes for reasons of the emulator; a test program that fails is
# therefore run a second time, and only a second failure fails the suite.
ctest --test-dir "$build" -j2 --output-on-failure --repeat until-pass:2

#!/usr/bin/env bash
# Runs COMMAND as a machine without ia32 support in its kernel runs it: every
# 32-bit program (so all of 32-bit Wine) goes through qemu-i386-static, by
# the same binfmt_misc entry that scripts/setup.sh registers there. For
# finding, on a machine that runs 32-bit code natively, what only shows
# under the emulator (slow starts, faults as 0xC000001D, ...).
#
# A global registration would turn every other run on this machine into an
# emulated one. So the entry goes into a private binfmt_misc instance of a
# new user namespace (Linux 6.7 or newer): COMMAND and what it starts see
# it, no one else does. binfmt_misc entries are tried before the kernel's
# own ELF loader, so the entry wins over native ia32.
#
# Usage: [BUILD_DIR=DIR] emulated.sh COMMAND [ARGS...]
#   e.g. scripts/emulated.sh scripts/test.sh
# BUILD_DIR defaults to build-emulated: an emulated run never shares a build
# folder, Wine prefix or wineserver with a native one.
set -euo pipefail
root=$(realpath "$(dirname "$0")/..")
if [ $# -eq 0 ]; then
  echo "usage: [BUILD_DIR=DIR] emulated.sh COMMAND [ARGS...]" >&2
  exit 2
fi
BUILD_DIR=$(realpath -m "${BUILD_DIR:-$root/build-emulated}")
if [ "$BUILD_DIR" = "$root/build" ]; then
  echo "emulated: $BUILD_DIR is the native build; use a folder of its own" >&2
  exit 2
fi
export BUILD_DIR

# Installs what is missing out here: inside, root is root of the namespace
# only, which cannot install packages.
"$root/scripts/setup.sh" >/dev/null

# --map-root-user: inside, root keeps uid 0 (files it creates belong to the
# real root); users other than root show as nobody.
exec unshare --user --map-root-user --mount --fork -- bash -c '
  set -euo pipefail
  binfmt=/proc/sys/fs/binfmt_misc
  if ! mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null; then
    echo "emulated: no private binfmt_misc here (needs Linux 6.7 or newer; this is $(uname -r))" >&2
    exit 1
  fi
  "$0" "$binfmt"
  exec "$@"' "$root/scripts/register-qemu-i386.sh" "$@"

#!/usr/bin/env bash
# Copies the tests' Wine prefix for a run under another ANSI code page. Wine
# takes the code page from LANG when a prefix's wineserver starts, and one
# prefix has one server: a second code page needs a second prefix. Copying
# takes seconds, where creating one takes minutes under an emulator. The
# DLL folders, which no program writes, are hard links; everything else
# (the registry files that the copy's server rewrites) is copied.
# Usage: wine-prefix-copy.sh FROM TO
set -euo pipefail
from=$(realpath "$1")
to=$(realpath -m "$2")
if [ ! -f "$from/.prefix-ready" ]; then
  echo "wine-prefix-copy: no prefix at $from" >&2
  exit 1
fi
# A server left by an earlier run must not write into the new copy.
if [ -d "$to" ]; then WINEPREFIX=$to wineserver -k 2>/dev/null || true; fi
rm -rf "$to"
mkdir -p "$to"
dlls=(drive_c/windows/system32 drive_c/windows/syswow64)
tar -C "$from" "${dlls[@]/#/--exclude=./}" -cf - . | tar -C "$to" -xpf -
for d in "${dlls[@]}"; do cp -al "$from/$d" "$to/$d"; done
echo "wine-prefix-copy: $to"

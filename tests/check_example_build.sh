#!/usr/bin/env bash
# Builds the example plug-in with the very mingw-w64 command that
# sdk/example/README.txt gives, in the SDK's layout (include/ beside
# example/), and fails on any compiler message: the command a plug-in
# author copies must work as written.
# Usage: check_example_build.sh SOURCE_ROOT OUT_FOLDER
set -euo pipefail
root=$1
out=$2
rm -rf "$out"
mkdir -p "$out/include" "$out/example"
cp "$root/stages/include/stage_plugin.h" "$out/include/"
cp "$root/sdk/example/example.c" "$root/sdk/example/example.def" "$out/example/"
command=$(grep -m1 '^    i686-w64-mingw32-gcc ' "$root/sdk/example/README.txt" || true)
if [ -z "$command" ]; then
  echo "FAIL: no i686-w64-mingw32-gcc command in sdk/example/README.txt"
  exit 1
fi
cd "$out/example"
status=0
messages=$(sh -c "$command" 2>&1) || status=$?
if [ "$status" -ne 0 ] || [ -n "$messages" ] || [ ! -f example.dll ]; then
  echo "FAIL: $command"
  echo "exit status $status; compiler said:"
  echo "$messages"
  exit 1
fi
echo "built $out/example/example.dll with:$command"

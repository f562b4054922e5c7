#!/usr/bin/env bash
# A plug-in author's first steps, as sdk/example/README.txt gives them: the
# example copied to a new name (mystage) with the renames of its step 1, in
# the SDK's layout (include/ beside it), then built both ways the README
# gives: its one-line mingw-w64 command (names changed) and its CMake
# commands. Fails on any compiler message, on a DLL not named as its copy,
# and unless both ways compile with the same flags: the command a plug-in
# author copies and the CMake file must work as written and agree.
# Leaves OUT_FOLDER/mystage/mystage.dll (command) and
# OUT_FOLDER/mystage/build/mystage.dll (CMake) for stagecheck_tests.
# Usage: check_example_build.sh SOURCE_ROOT OUT_FOLDER
set -euo pipefail
root=$1
out=$2
readme=$root/sdk/example/README.txt
fail() { echo "FAIL: $*"; exit 1; }
rm -rf "$out"
mkdir -p "$out/include" "$out/example"
cp "$root/stages/include/stage_plugin.h" "$out/include/"
cp "$root/sdk/example/example.c" "$root/sdk/example/example.def" \
   "$root/sdk/example/CMakeLists.txt" "$readme" "$out/example/"

# Step 1, as its Linux line says.
cd "$out"
cp -r example mystage
cd mystage
mv example.c mystage.c
mv example.def mystage.def
sed -i 's/^LIBRARY "example.dll"/LIBRARY "mystage.dll"/' mystage.def
grep -q '^LIBRARY "mystage.dll"' mystage.def || fail "no LIBRARY line to rename"

# quiet_run WHAT COMMAND: runs it, failing on a non-zero status or any
# compiler or linker message (CMake's own progress lines aside).
quiet_run() {
  local what=$1 status=0 messages
  shift
  messages=$("$@" 2>&1) || status=$?
  local said
  said=$(printf '%s\n' "$messages" | grep -iE 'warning|error|note:' || true)
  if [ "$status" -ne 0 ] || [ -n "$said" ]; then
    echo "FAIL: $what: exit status $status; it said:"
    printf '%s\n' "$messages"
    exit 1
  fi
  printf '%s\n' "$messages"
}

# exported_name DLL: the name in its export table.
exported_name() {
  i686-w64-mingw32-objdump -p "$1" | sed -n 's/^Name[[:space:]]*[0-9a-f]* //p'
}

# The one-line command, with the copy's name.
command=$(grep -m1 '^    i686-w64-mingw32-gcc ' "$readme" || true)
[ -n "$command" ] || fail "no i686-w64-mingw32-gcc command in sdk/example/README.txt"
command=${command//example/mystage}
quiet_run "$command" sh -c "$command" >/dev/null
[ -f mystage.dll ] || fail "$command made no mystage.dll"

# The CMake commands, verbose so that the compile line shows.
mapfile -t cmake_lines < <(grep '^    cmake ' "$readme" | head -2)
[ "${#cmake_lines[@]}" = 2 ] || fail "no two cmake commands in sdk/example/README.txt"
quiet_run "${cmake_lines[0]}" sh -c "${cmake_lines[0]}" >/dev/null
build_log=$(VERBOSE=1 quiet_run "${cmake_lines[1]}" sh -c "${cmake_lines[1]}")
[ -f build/mystage.dll ] || fail "the CMake build made no build/mystage.dll"

for dll in mystage.dll build/mystage.dll; do
  name=$(exported_name "$dll")
  [ "$name" = mystage.dll ] || fail "$dll names itself '$name' in its export table"
done

# compile_flags LINE: the options that change the code, sorted.
compile_flags() {
  tr ' ' '\n' <<<"$1" | grep -E '^-(O|m|f|std|D|g|pedantic|W)' | sort -u
}
cmake_compile=$(grep -m1 -E -- ' -c [^ ]*mystage\.c' <<<"$build_log" || true)
[ -n "$cmake_compile" ] || fail "no compile line for mystage.c in the CMake build's output"
if ! diff <(compile_flags "$command") <(compile_flags "$cmake_compile"); then
  echo "FAIL: the README's command (<) and the CMake build (>) compile differently"
  echo "CMake: $cmake_compile"
  exit 1
fi
echo "built mystage.dll both ways with: $(compile_flags "$command" | tr '\n' ' ')"

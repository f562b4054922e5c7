#!/usr/bin/env bash
# Builds the release archive dist/NAME-VERSION-win32.zip (NAME and VERSION
# from project() in CMakeLists.txt) from the commit checked out, as
# committed (uncommitted changes are left out), in a fresh folder
# build-release/. Then it checks the archive from its bytes
# (tests/check_release.py: the files of each kind of user, a version
# resource in every binary, no time stamps, no build paths, the plug-ins
# under 16 KiB, the READMEs readable in Notepad) and builds the example
# plug-in from the archive with the command its README gives.
# The archive depends on the commit only: no time stamps in the binaries,
# every archive entry dated with the commit's time, a fixed order.
#
# Usage: release.sh [--verify [--tested BUILD]]
#   --verify  also builds the same commit a second time, in a folder at
#             another path and depth, and fails unless the two archives
#             are byte for byte the same; and runs under Wine the suite's
#             keyconfig tests (the dialog template against the reference
#             tables) on the keyconfig.exe that ships, and the shipped
#             stagecheck.exe on the example built from the archive.
#   --tested BUILD  the whole suite has just passed in the build folder
#             BUILD (as in .ci/run): the shipped binaries are compared with
#             the ones it tested, byte for byte, instead of testing them
#             again, and BUILD's Wine prefix is used. Where 32-bit code is
#             emulated that saves a prefix and a test program, minutes.
set -euo pipefail
root=$(realpath "$(dirname "$0")/..")
verify=0
tested=
usage() { echo "usage: release.sh [--verify [--tested BUILD]]" >&2; exit 2; }
while [ $# -gt 0 ]; do
  case "$1" in
    --verify) verify=1 ;;
    --tested) [ $# -ge 2 ] || usage; tested=$(realpath "$2"); shift ;;
    *) usage ;;
  esac
  shift
done
if [ -n "$tested" ] && { [ "$verify" = 0 ] || [ ! -d "$tested/wineprefix" ]; }; then
  echo "release: --tested wants --verify and a build folder the suite ran in" >&2
  exit 2
fi
"$root/scripts/setup.sh" >/dev/null

commit=$(git -C "$root" rev-parse HEAD)
epoch=$(git -C "$root" log -1 --format=%ct HEAD)
if [ -n "$(git -C "$root" status --porcelain --untracked-files=no)" ]; then
  echo "release: uncommitted changes are left out; building $commit as committed" >&2
fi
work=$root/build-release
rm -rf "$work"

# build_release FOLDER: the commit's files in FOLDER/src, built in
# FOLDER/build, installed into FOLDER/root, packed into FOLDER/NAME.zip.
build_release() {
  local folder=$1
  echo "release: building $commit in $folder"
  mkdir -p "$folder/src"
  git -C "$root" archive HEAD | tar -x -C "$folder/src"
  cmake -S "$folder/src" -B "$folder/build" \
    -DCMAKE_TOOLCHAIN_FILE="$folder/src/cmake/i686-w64-mingw32.cmake" \
    -DWARNINGS_AS_ERRORS=ON >/dev/null
  cmake --build "$folder/build" -j"$(nproc)" --target keyconfig stage tessel \
    stageview stagecheck sample_stages >/dev/null
  cmake --install "$folder/build" --prefix "$folder/root" \
    --component release >/dev/null
  . "$folder/build/release.env"
  python3 "$folder/src/scripts/pack_release.py" "$folder/root" \
    "$folder/$RELEASE_NAME.zip" "$epoch"
}

first=$work/first
build_release "$first"
archive=$first/$RELEASE_NAME.zip
python3 "$first/src/tests/check_release.py" archive \
  --version "$RELEASE_VERSION" --product "$RELEASE_PRODUCT" \
  --forbid "$root" --forbid "$work" "$archive"

# The example, from the archive, with the one mingw-w64 command its README
# gives (the README has Windows line ends).
unpacked=$work/unpacked
python3 -m zipfile -e "$archive" "$unpacked"
command=$(grep -m1 '^    i686-w64-mingw32-gcc ' "$unpacked/sdk/example/README.txt" | tr -d '\r')
(cd "$unpacked/sdk/example" && sh -c "$command")
echo "release: sdk/example builds with:$command"

if [ "$verify" = 1 ]; then
  second=$work/verify/at/another/depth
  build_release "$second"
  sha256sum "$archive" "$second/$RELEASE_NAME.zip"
  if ! cmp "$archive" "$second/$RELEASE_NAME.zip"; then
    echo "release: two builds of $commit gave different archives" >&2
    exit 1
  fi
  echo "release: two builds in different folders gave the same archive"

  # The keyconfig.exe that ships is the one these tests read.
  cmp "$unpacked/keyconfig.exe" "$first/build/keyconfig/keyconfig.exe"
  if [ -n "$tested" ]; then
    for binary in keyconfig/keyconfig.exe stages/stage.dll stages/tessel.dll \
                  stages/stageview.exe stages/stagecheck.exe; do
      shipped=$(find "$unpacked" -name "$(basename "$binary")" | head -1)
      cmp "$shipped" "$tested/$binary"
    done
    echo "release: the shipped binaries are byte for byte the ones the suite tested in $tested"
    WINE_ENV_PREFIX=$tested/wineprefix
  else
    cmake --build "$first/build" -j"$(nproc)" --target keyconfig_tests >/dev/null
    ctest --test-dir "$first/build" -R '^keyconfig_tests$' --output-on-failure
    WINE_ENV_PREFIX=$first/build/wineprefix
  fi
  . "$root/scripts/wine-env.sh"
  wine_env_private_display "$work/display"
  wine_env_start_server
  # In its own process: one Wine start rather than two (a worker), a
  # minute where 32-bit code is emulated; the suite tests the workers.
  (cd "$unpacked/sdk" && wine stagecheck.exe --in-process 'example\example.dll')
  echo "release: the shipped stagecheck.exe passes the example"
fi

mkdir -p "$root/dist"
cp "$archive" "$root/dist/"
sha256sum "$root/dist/$RELEASE_NAME.zip"

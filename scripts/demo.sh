#!/usr/bin/env bash
# The main job: installs what is missing, builds, then runs keyconfig.exe
# under Wine in a sample game folder and shows what it left behind: its
# debugger output and system\config.dat.
set -euo pipefail
root=$(realpath "$(dirname "$0")/..")
build=${BUILD_DIR:-$root/build}
"$root/scripts/setup.sh"
"$root/scripts/build.sh"

WINE_ENV_PREFIX=$build/wineprefix
"$root/scripts/wine-prefix.sh" "$WINE_ENV_PREFIX"
. "$root/scripts/wine-env.sh"
wine_env_start_server

game=$build/demo/game
rm -rf "$game"
mkdir -p "$game/system"   # the program never creates this folder itself
cp "$build/keyconfig/keyconfig.exe" "$game/"

echo "demo: running keyconfig.exe in $game"
status=0
(cd "$game" && wine "$build/tools/debugrun.exe" 'keyconfig.exe' .) || status=$?
echo "demo: keyconfig.exe exit status $status"

config=$game/system/config.dat
if [ -f "$config" ]; then
  echo "demo: $config ($(stat -c %s "$config") bytes):"
  od -A d -t x1 "$config"
else
  echo "demo: no system/config.dat was written (the dialog did not end with OK)"
fi

#!/usr/bin/env bash
# Benchmarks, in one command:
#  - nanoseconds per draw of both plug-ins against the floor of the same
#    number of direct DrawSurface calls (stagebench);
#  - stageview frames per second, three-layer sample stage at 640 x 480;
#  - keyconfig.exe start to dialog visible, under Wine.
# One after another, so that none slows the others down.
# Usage: bench.sh [draws] [frames]
set -euo pipefail
root=$(realpath "$(dirname "$0")/..")
build=$(realpath -m "${BUILD_DIR:-$root/build}")
"$root/scripts/setup.sh" >/dev/null
"$root/scripts/build.sh" >/dev/null
WINE_ENV_PREFIX=$build/wineprefix
"$root/scripts/wine-prefix.sh" "$WINE_ENV_PREFIX"
. "$root/scripts/wine-env.sh"
wine_env_private_display "$build/bench-display"
wine_env_start_server

out=$build/bench
rm -rf "$out"
mkdir -p "$out/game/system" "$out/handshake"
cp "$build/keyconfig/keyconfig.exe" "$out/game/"

status=0
(cd "$build/stages" && wine ./stagebench.exe "${1:-2000000}" 2>/dev/null) || status=1
(cd "$build/stages" && wine ./stageview.exe stage.dll 'samples\layered' --bench "${2:-200}" 2>/dev/null) || status=1
handshake="Z:${out//\//\\}\\handshake"
(cd "$out/game" && wine "$build/tools/debugrun.exe" --handshake "$handshake" keyconfig.exe . >"$out/keyconfig.txt" 2>/dev/null) &
dialog=$!
wine_env_wait_for_file "$out/handshake/visible" "$dialog" || true
touch "$out/handshake/close"
wait "$dialog" || true   # exit code: that of keyconfig.exe, closed with だめ
grep 'dialog visible' "$out/keyconfig.txt" || { echo "bench: keyconfig's dialog never appeared" >&2; status=1; }
exit "$status"

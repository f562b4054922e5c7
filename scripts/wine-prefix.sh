#!/usr/bin/env bash
# Creates the Wine prefix that the tests or the demo run in, once. Inside it
# every window lives on a 1024 x 768 virtual desktop, which gives a fixed
# desktop size and Windows-like activation even without a window manager.
# Usage: wine-prefix.sh PREFIX
set -euo pipefail
WINE_ENV_PREFIX=$(realpath -m "$1")
here=$(dirname "$(realpath "$0")")
. "$here/wine-env.sh"

if [ -f "$WINEPREFIX/.prefix-ready" ]; then
  exit 0
fi
rm -rf "$WINEPREFIX"
mkdir -p "$(dirname "$WINEPREFIX")"
echo "wine-prefix: creating $WINEPREFIX (takes a few minutes the first time)"
wine_env_start_server
# The 64-bit loader runs the prefix tools natively, which is much faster
# where 32-bit programs go through an emulator.
wine64=/usr/lib/wine/wine64
[ -x "$wine64" ] || wine64=wine
WINELOADER=$wine64 "$wine64" wineboot -i </dev/null >/dev/null 2>&1 || true
WINELOADER=$wine64 "$wine64" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f </dev/null >/dev/null 2>&1
WINELOADER=$wine64 "$wine64" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f </dev/null >/dev/null 2>&1
wineserver -w || true
touch "$WINEPREFIX/.prefix-ready"
echo "wine-prefix: ready"

#!/usr/bin/env bash
# Creates the Wine prefix that the tests or the demo run in, once, and keeps
# its settings current. Inside it every window lives on a 1024 x 768 virtual
# desktop, which gives a fixed desktop size and Windows-like activation even
# without a window manager; the dialog's fonts are those of wine-fonts.sh;
# a crash ends its program at once.
# Usage: wine-prefix.sh PREFIX
set -euo pipefail
WINE_ENV_PREFIX=$(realpath -m "$1")
here=$(dirname "$(realpath "$0")")
. "$here/wine-env.sh"

# Bump when the settings below change: existing prefixes then get them too.
settings_version=6
ready=$WINEPREFIX/.prefix-ready
if [ -f "$ready" ] && [ "$(cat "$ready")" = "$settings_version" ]; then
  exit 0
fi

# The 64-bit loader runs the prefix tools natively, which is much faster
# where 32-bit programs go through an emulator.
wine64=/usr/lib/wine/wine64
[ -x "$wine64" ] || wine64=wine
run64() { WINELOADER=$wine64 "$wine64" "$@" </dev/null >/dev/null 2>&1; }

if [ ! -f "$ready" ]; then
  rm -rf "$WINEPREFIX"
  mkdir -p "$(dirname "$WINEPREFIX")"
  echo "wine-prefix: creating $WINEPREFIX (takes a few minutes the first time)"
  wine_env_start_server
  run64 wineboot -i || true
fi
wine_env_start_server
run64 reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f
run64 reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f
"$here/wine-fonts.sh" "$WINEPREFIX" >/dev/null
# A crash ends the program at once instead of waiting behind Wine's crash
# dialog until someone closes it (or a test's timeout runs out).
run64 reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
# Nor is a debugger started for it (winedbg --auto, which Wine also starts
# when no debugger is set): under an emulator that is a minute of CPU, and
# the crashed program waits for it meanwhile. A debugger that does not
# exist fails at once, and the program ends.
for key in 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
  'HKLM\Software\Wow6432Node\Microsoft\Windows NT\CurrentVersion\AeDebug'; do
  run64 reg add "$key" /v Debugger /d 'no-debugger-in-this-prefix %ld %ld' /f
done
wineserver -w || true
echo "$settings_version" >"$ready"
echo "wine-prefix: ready"

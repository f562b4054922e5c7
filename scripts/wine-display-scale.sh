#!/usr/bin/env bash
# Sets a Wine prefix's display scale and the font that draws keyconfig's
# "ＭＳ Ｐゴシック", as a player's screen and prefix may have them: the dpi
# that winecfg's "Screen resolution" writes (96, 120, 144, 192 for 100 to
# 200 %) and the face the dialog's font is replaced by (Ume P Gothic, as
# wine-fonts.sh sets it; IPAPGothic, what Wine falls back to when nothing
# maps the face). Wine reads the dpi when the prefix's wineserver starts:
# the server is ended afterwards, so that the next program starts a new one.
# Usage: wine-display-scale.sh PREFIX DPI FACE
set -euo pipefail
export WINEPREFIX=$(realpath "$1")
dpi=$2
face=$3
export WINEDEBUG=-all
export LANG=ja_JP.UTF-8
wine64=/usr/lib/wine/wine64
[ -x "$wine64" ] || wine64=wine
run64() { WINELOADER=$wine64 "$wine64" "$@" </dev/null >/dev/null 2>&1; }
run64 reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f
replacements='HKCU\Software\Wine\Fonts\Replacements'
run64 reg add "$replacements" /v 'ＭＳ Ｐゴシック' /d "$face" /f
run64 reg add "$replacements" /v 'MS PGothic' /d "$face" /f
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
echo "wine-display-scale: $WINEPREFIX at $dpi dpi, \"ＭＳ Ｐゴシック\" drawn by $face"

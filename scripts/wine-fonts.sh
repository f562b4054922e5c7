#!/usr/bin/env bash
# Gives a Wine prefix the fonts keyconfig's dialog is drawn with, from
# Debian's packages (scripts/setup.sh installs them):
#  - the dialog asks for "ＭＳ Ｐゴシック", a Windows font; it is replaced
#    by Ume P Gothic, a free font with the same widths, so that at 96 dpi
#    the dialog looks as on Windows (with wider fonts, such as IPA P
#    Gothic, keyconfig widens the controls whose texts do not fit);
#  - Wine's own fonts (Marlett draws the caption buttons, Tahoma the
#    captions) are copied into the prefix's Fonts folder, where this Wine
#    build finds them.
# Usage: wine-fonts.sh [PREFIX]   (default: $WINEPREFIX, else ~/.wine)
set -euo pipefail
prefix=$(realpath -m "${1:-${WINEPREFIX:-$HOME/.wine}}")
if [ ! -d "$prefix/drive_c/windows" ]; then
  echo "wine-fonts: no Wine prefix at $prefix (run a Wine program once first)" >&2
  exit 1
fi
export WINEPREFIX=$prefix
export WINEDEBUG=-all
wine64=/usr/lib/wine/wine64
[ -x "$wine64" ] || wine64=wine
run64() { WINELOADER=$wine64 "$wine64" "$@" </dev/null >/dev/null 2>&1; }

mkdir -p "$prefix/drive_c/windows/Fonts"
cp /usr/share/wine/fonts/*.ttf "$prefix/drive_c/windows/Fonts/"
replacements='HKCU\Software\Wine\Fonts\Replacements'
run64 reg add "$replacements" /v 'ＭＳ Ｐゴシック' /d 'Ume P Gothic' /f
run64 reg add "$replacements" /v 'MS PGothic' /d 'Ume P Gothic' /f
run64 reg add "$replacements" /v 'ＭＳ ゴシック' /d 'Ume Gothic' /f
run64 reg add "$replacements" /v 'MS Gothic' /d 'Ume Gothic' /f
echo "wine-fonts: $prefix draws keyconfig's dialog with Ume P Gothic and Wine's own fonts"

#!/usr/bin/env bash
# keyconfig's dialog and capture window measured at every display scale a
# player may set (96, 120, 144 and 192 dpi) with both fonts that may draw
# "ＭＳ Ｐゴシック" (Ume P Gothic, as wine-fonts.sh sets it; IPAPGothic,
# Wine's fallback). The suite runs two of these eight (96 with Ume P Gothic,
# 144 with IPAPGothic); this runs all eight, one Wine start each, in a copy
# of the build's test prefix, on a private display of its own. Too slow for
# every run of the suite where 32-bit code is emulated (a minute a start);
# run it after changing the dialog or its text fitting.
# Usage: tests/keyconfig_every_scale.sh [BUILD_DIR]   (after scripts/test.sh)
set -uo pipefail
root=$(realpath "$(dirname "$0")/..")
build=$(realpath "${1:-$root/build}")
prefix=$build/wineprefix-every-scale
display=$build/display-every-scale
if [ ! -f "$build/wineprefix/.prefix-ready" ]; then
  echo "keyconfig_every_scale: no test prefix in $build; run scripts/test.sh first" >&2
  exit 1
fi
if [ -z "${DISPLAY:-}" ]; then
  DISPLAY=$("$root/scripts/private-display.sh" start "$display") || exit 1
  export DISPLAY
  trap 'WINEPREFIX=$prefix "$root/scripts/private-display.sh" stop "$display"' EXIT
fi
failed=0
for dpi in 96 120 144 192; do
  for face in "Ume P Gothic" IPAPGothic; do
    rm -rf "$prefix"
    "$root/scripts/wine-prefix-copy.sh" "$build/wineprefix" "$prefix" >/dev/null &&
      "$root/scripts/wine-display-scale.sh" "$prefix" "$dpi" "$face" >/dev/null || exit 1
    log=$build/keyconfig-every-scale-$dpi-${face// /}.log
    start=$(date +%s)
    WINE_RUN_PREFIX=$prefix KEYCONFIG_DPI=$dpi KEYCONFIG_FONT=$face \
      "$build/wine-run.sh" "$build/tests/keyconfig_tests.exe" \
      '--gtest_filter=DisplayTexts.*:ScreenScale.*' >"$log" 2>&1
    status=$?
    WINEPREFIX=$prefix wineserver -k 2>/dev/null
    verdict=passed
    [ "$status" = 0 ] || { verdict="FAILED (see $log)"; failed=1; }
    printf 'keyconfig_every_scale: %3s dpi, %-12s %s in %d s\n' \
      "$dpi" "$face" "$verdict" $(($(date +%s) - start))
  done
done
rm -rf "$prefix"
exit "$failed"

#!/usr/bin/env bash
# The main job: installs what is missing, builds, renders the sample stages
# through both plug-ins with stageview (images and a pan strip), then runs
# keyconfig.exe under Wine in a sample game folder.
#  - With a display of your own (DISPLAY set), the dialog is yours to use;
#    close it with "これでよしと" (saves) or "だめ".
#  - Without one, it runs on a private Xvfb: the script saves a screenshot
#    of the dialog, then presses "だめ".
# Either way it prints the program's debugger output and what it left in
# system\config.dat.
set -euo pipefail
root=$(realpath "$(dirname "$0")/..")
build=$(realpath -m "${BUILD_DIR:-$root/build}")
user_display=${DISPLAY:-}
"$root/scripts/setup.sh"
"$root/scripts/build.sh"

WINE_ENV_PREFIX=$build/wineprefix
"$root/scripts/wine-prefix.sh" "$WINE_ENV_PREFIX"
. "$root/scripts/wine-env.sh"
wine_env_private_display "$build/demo-display"
wine_env_start_server

demo=$build/demo
game=$demo/game
rm -rf "$game"
mkdir -p "$game/system"   # the program never creates this folder itself
cp "$build/keyconfig/keyconfig.exe" "$game/"
debugrun=$build/tools/debugrun.exe
failed=0

# The stage renders run side by side with keyconfig: each Wine start is slow
# where 32-bit code is emulated.
stages=$build/stages
renders=$demo/stages
rm -rf "$renders"
mkdir -p "$renders"
render() {  # NAME PLUGIN SAMPLE [options]
  local name=$1 plugin=$2 sample=$3
  shift 3
  (cd "$stages" && wine stageview.exe "$plugin" "samples\\$sample" \
      --out "Z:${renders//\//\\}\\$name.bmp" "$@" >"$renders/$name.log" 2>"$renders/$name.err")
}
echo "demo: rendering the sample stages with stageview.exe (in the background)"
render layered stage.dll layered --trace &
render_layered=$!
render single tessel.dll single --trace &
render_single=$!
render pan stage.dll layered --pan 4 &
render_pan=$!
echo "demo: checking both plug-ins with stagecheck.exe (in the background)"
(cd "$stages" && for plugin in stage.dll tessel.dll; do
   wine stagecheck.exe "$plugin" || echo "stagecheck: $plugin exit status $?"
 done >"$demo/stagecheck.txt" 2>&1) &
stagecheck_run=$!

if [ -n "$user_display" ]; then
  echo "demo: keyconfig.exe in $game on your display $DISPLAY; close the dialog to go on"
  status=0
  (cd "$game" && wine "$debugrun" keyconfig.exe .) || status=$?
else
  echo "demo: keyconfig.exe in $game on a private display ($DISPLAY)"
  echo "demo: starting Wine takes a minute or two where 32-bit code is emulated"
  handshake=$demo/handshake
  rm -rf "$handshake"
  mkdir -p "$handshake"
  handshake_win="Z:${handshake//\//\\}"
  (cd "$game" && exec wine "$debugrun" --handshake "$handshake_win" keyconfig.exe .) &
  run=$!
  if wine_env_wait_for_file "$handshake/visible" "$run"; then
    read -r x y w h <"$handshake/visible"
    shot=$demo/keyconfig-dialog.png
    import -display "$DISPLAY" -window root -crop "${w}x${h}+${x}+${y}" +repage "$shot"
    echo "demo: screenshot of the dialog: $shot"
  else
    echo "demo: the dialog never became visible" >&2
    failed=1
  fi
  touch "$handshake/close"   # debugrun now presses "だめ"
  status=0
  wait "$run" || status=$?
fi
echo "demo: keyconfig.exe exit status $status"

for name in layered single pan; do
  pid_var=render_$name
  if wait "${!pid_var}" && [ -f "$renders/$name.bmp" ]; then
    convert "$renders/$name.bmp" "$renders/$name.png"
    echo "demo: stage render $renders/$name.png (calls traced in $renders/$name.log)"
  else
    echo "demo: stageview failed for $name:" >&2
    cat "$renders/$name.log" >&2
    failed=1
  fi
done

if wait "$stagecheck_run" && ! grep -q "exit status" "$demo/stagecheck.txt"; then
  echo "demo: stagecheck: both plug-ins hold every rule ($demo/stagecheck.txt):"
  grep "^stagecheck:" "$demo/stagecheck.txt"
else
  echo "demo: stagecheck found a broken rule:" >&2
  cat "$demo/stagecheck.txt" >&2
  failed=1
fi

config=$game/system/config.dat
if [ -f "$config" ]; then
  echo "demo: $config ($(stat -c %s "$config") bytes):"
  od -A d -t x1 "$config"
else
  echo "demo: no system/config.dat was written (the dialog did not end with OK)"
fi
exit "$failed"

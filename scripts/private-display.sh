#!/usr/bin/env bash
# A private X display: an Xvfb on a display number that no one else holds
# (Xvfb picks a free one itself and reports it), so that no other program's
# windows appear in our screenshots or take activation from ours.
#   private-display.sh start DIR   starts it; DIR/number holds the number
#   private-display.sh stop DIR    stops it, and first the Wine processes of
#                                  WINEPREFIX, if set, that may be using it
set -euo pipefail
action=$1
state=$2
case $action in
  start)
    mkdir -p "$state"
    rm -f "$state/number" "$state/pid"
    setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp \
      3>"$state/number" </dev/null >/dev/null 2>&1 &
    echo $! >"$state/pid"
    for _ in $(seq 100); do
      if grep -q '^[0-9]' "$state/number" 2>/dev/null; then
        echo ":$(head -n1 "$state/number")"
        exit 0
      fi
      kill -0 "$(cat "$state/pid")" 2>/dev/null || break
      sleep 0.1
    done
    echo "private-display: Xvfb did not start" >&2
    exit 1
    ;;
  stop)
    if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
      wineserver -k 2>/dev/null || true
    fi
    if [ -f "$state/pid" ]; then
      kill "$(cat "$state/pid")" 2>/dev/null || true
    fi
    rm -f "$state/number" "$state/pid"
    ;;
  *)
    echo "usage: private-display.sh start|stop DIR" >&2
    exit 2
    ;;
esac

# Sourced by the scripts that run Windows programs: picks the Wine prefix and
# display, and starts what must outlive a single program (Xvfb, wineserver).
#   WINE_ENV_PREFIX  the prefix to use (required)
# Sets WINEPREFIX, WINEDEBUG, LANG and DISPLAY.

export WINEPREFIX="$WINE_ENV_PREFIX"
export WINEDEBUG="${WINEDEBUG:-fixme-all}"
# Code page 932 for the ANSI calls (needs the ja_JP.UTF-8 locale).
export LANG=ja_JP.UTF-8
unset LC_ALL

# A display: the caller's, or a private Xvfb that stays up for later runs.
wine_env_start_xvfb() {
  local number=$1
  # A socket can outlive its server: ask the display itself.
  if ! xdpyinfo -display ":$number" >/dev/null 2>&1; then
    rm -f "/tmp/.X$number-lock" "/tmp/.X11-unix/X$number"
    setsid Xvfb ":$number" -screen 0 1024x768x24 -nolisten tcp \
      </dev/null >/dev/null 2>&1 &
    for _ in $(seq 50); do
      xdpyinfo -display ":$number" >/dev/null 2>&1 && break
      sleep 0.1
    done
  fi
  export DISPLAY=":$number"
}
if [ -z "${DISPLAY:-}" ]; then
  wine_env_start_xvfb 91
fi

# A wineserver started detached: one that a program starts itself keeps
# the caller's pipes open, and CTest would wait for it.
wine_env_start_server() {
  setsid wineserver -p60 </dev/null >/dev/null 2>&1 || true
}

# Waits until FILE exists (0) or process PID has ended or 15 minutes have
# passed (1): how the scripts wait for debugrun's handshake.
wine_env_wait_for_file() {
  local file=$1 pid=$2
  for _ in $(seq 9000); do
    [ -f "$file" ] && return 0
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  [ -f "$file" ]
}

# Sourced by the scripts that run Windows programs: picks the Wine prefix and
# display, and starts what must outlive a single program (Xvfb, wineserver).
#   WINE_ENV_PREFIX  the prefix to use (required)
#   WINE_ENV_LANG    LANG for Wine, which takes the ANSI code page from it
#                    when its wineserver starts (default ja_JP.UTF-8: 932)
# Sets WINEPREFIX, WINEDEBUG and LANG; wine_env_private_display sets DISPLAY.

export WINEPREFIX="$WINE_ENV_PREFIX"
export WINEDEBUG="${WINEDEBUG:-fixme-all}"
# Code page 932 for the ANSI calls unless the caller asks for another (each
# needs its locale: scripts/setup.sh generates them).
export LANG=${WINE_ENV_LANG:-ja_JP.UTF-8}
unset LC_ALL
# Time limits at this machine's pace (tools/debugrun/machine_pace.h): ten
# times the native ones where 32-bit programs run through qemu.
if grep -qs '^enabled' /proc/sys/fs/binfmt_misc/qemu-i386; then
  export TEST_PACE=${TEST_PACE:-10}
fi

# A display: the caller's own when DISPLAY is set, otherwise a private
# Xvfb (scripts/private-display.sh) that the calling script owns: it is
# stopped, with the prefix's Wine processes, when that script exits.
wine_env_private_display() {
  local state=$1
  [ -n "${DISPLAY:-}" ] && return 0
  DISPLAY=$("$(dirname "${BASH_SOURCE[0]}")/private-display.sh" start "$state")
  export DISPLAY
  wine_env_display_state=$state
  trap 'wine_env_stop_display' EXIT
}
wine_env_stop_display() {
  "$(dirname "${BASH_SOURCE[0]}")/private-display.sh" stop "$wine_env_display_state"
}

# A wineserver started detached: one that a program starts itself keeps
# the caller's pipes open, and CTest would wait for it.
wine_env_start_server() {
  setsid wineserver -p60 </dev/null >/dev/null 2>&1 || true
}

# Waits until FILE exists (0) or process PID has ended or 15 minutes (at
# the machine's pace) have passed (1): how the scripts wait for debugrun's
# handshake.
wine_env_wait_for_file() {
  local file=$1 pid=$2
  for _ in $(seq $((9000 * ${TEST_PACE:-1}))); do
    [ -f "$file" ] && return 0
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  [ -f "$file" ]
}

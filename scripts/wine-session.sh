#!/usr/bin/env bash
# Shared by the README commands: a throwaway Wine prefix inside a build tree and an
# Xvfb display, started and stopped together. Source it, then:
#   vt_wine_start <build-dir>   exports WINEPREFIX, DISPLAY, WINEDEBUG, WINEDLLOVERRIDES
#   vt_wine_stop                ends the prefix's processes and the display
vt_wine_start() {
  local build; build=$(cd "$1" && pwd)
  export WINEPREFIX="$build/wineprefix"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  export WINEARCH=win64
  # Xvfb picks a free display number itself and writes it once it listens: two sessions
  # started at once (two worktrees, a test run beside the demonstration) must not end up
  # on one display that the first to stop takes away from the other.
  local numfile; numfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$numfile" >/dev/null 2>&1 &
  VT_XVFB_PID=$!
  local i n=""
  for i in $(seq 1 100); do
    n=$(tr -dc '0-9' <"$numfile")
    [ -n "$n" ] && break
    sleep 0.1
  done
  rm -f "$numfile"
  export DISPLAY=":$n"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine: creating prefix $WINEPREFIX"
    timeout 300 wineboot -i >/dev/null 2>&1 || true
  fi
  timeout 60 wineserver -w 2>/dev/null || true
  # A crashing program ends instead of waiting in a dialog; Windows always has the
  # keyboard layout key, a fresh prefix does not.
  timeout 60 wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 || true
  timeout 60 wine reg add 'HKLM\SYSTEM\CurrentControlSet\Control\Keyboard Layout' /f >/dev/null 2>&1 || true
}

vt_wine_stop() {
  if [ -n "${WINEPREFIX:-}" ]; then
    wineserver -k 2>/dev/null || true
    timeout 30 wineserver -w 2>/dev/null || true
  fi
  if [ -n "${VT_XVFB_PID:-}" ]; then
    kill "$VT_XVFB_PID" 2>/dev/null || true
    wait "$VT_XVFB_PID" 2>/dev/null || true
    VT_XVFB_PID=
  fi
}

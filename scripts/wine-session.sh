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
  # a free display number
  local n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  VT_XVFB_PID=$!
  export DISPLAY=":$n"
  local i
  for i in $(seq 1 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
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

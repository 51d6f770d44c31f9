#!/usr/bin/env bash
# ctest's emulator for the Windows programs: runs one under Wine with a time limit, in
# the session (prefix, display) that the caller started with scripts/wine-session.sh.
if [ -z "${WINEPREFIX:-}" ] || [ -z "${DISPLAY:-}" ]; then
  echo "wine-run: no Wine session (start one with scripts/wine-session.sh)" >&2
  exit 2
fi
exec timeout --kill-after=10 "${VT_WINE_TIMEOUT:-240}" wine "$@"

#!/usr/bin/env bash
# The main job: builds the Windows binaries, then runs the demonstration under Wine:
# the viewer, the tray program Vantor32.exe with its icon and menu, and a target window,
# with a scripted typing session.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/deps.sh || exit 1
. scripts/wine-session.sh
B=${VT_BUILD_ROOT:-$root/build}
cmake --no-warn-unused-cli -S . -B "$B/win64" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null || exit 1
cmake --build "$B/win64" -j"$(nproc)" --target Vt32Util Vantor32 vtview vtdemo target || exit 1

vt_wine_start "$B/win64"
trap vt_wine_stop EXIT
echo "importing examples/vantor32.reg"
timeout 60 wine regedit /S "$(winepath -w "$root/examples/vantor32.reg")" >/dev/null 2>&1
echo
cd "$B/win64" && timeout 300 wine vtdemo.exe

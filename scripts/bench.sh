#!/usr/bin/env bash
# The benchmarks: builds a native Release tree without sanitizers and the win64 tree's
# benchmark programs, then runs the two native ones (fake platform) and the three Windows
# ones under Wine (real platform, no viewer running) and prints their figures. They
# print figures and never fail on a number; not part of the test command.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/deps.sh || exit 1
. scripts/wine-session.sh
B=${VT_BUILD_ROOT:-$root/build}
jobs=$(nproc)

step() { echo; echo "==== $*"; }

step "machine"
echo "cores: $(nproc)"
echo "cpu: $(grep -m1 '^model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
echo "wine: $(wine --version 2>/dev/null)"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"

step "native Release build (no sanitizers)"
cmake -S . -B "$B/native-release" -DCMAKE_BUILD_TYPE=Release -DVT_SANITIZERS=OFF >/dev/null &&
  cmake --build "$B/native-release" -j"$jobs" --target bench_send bench_pipeline || exit 1
step "win64 build (benchmarks)"
cmake --no-warn-unused-cli -S . -B "$B/win64" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null &&
  cmake --build "$B/win64" -j"$jobs" --target bench_send bench_pipeline bench_macro Vantor32 Vt32Util target || exit 1

fail=0
step "native: fake platform"
"$B/native-release/bench_send" || fail=1
echo
"$B/native-release/bench_pipeline" || fail=1

step "Wine: real Win32 platform"
vt_wine_start "$B/win64"
trap vt_wine_stop EXIT
# the Windows programs end their lines with CR LF
(
  cd "$B/win64" || exit 1
  timeout 600 wine bench_send.exe | tr -d '\r' || exit 1
  echo
  # VT_BENCH_TRAY: the tray program whose window's answer is timed (default: this tree's)
  VT_BENCH_TRAY=${VT_BENCH_TRAY:-Vantor32.exe} timeout 600 wine bench_pipeline.exe | tr -d '\r' || exit 1
  echo
  timeout 600 wine bench_macro.exe | tr -d '\r' || exit 1
) || fail=1
vt_wine_stop
trap - EXIT

echo
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
# A benchmark that did not run to its end is an error; its figures are never one.
[ $fail -eq 0 ] || { echo "a benchmark did not finish"; exit 1; }

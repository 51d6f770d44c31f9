#!/usr/bin/env bash
# The test command: installs what is missing, builds the native and both Windows
# trees and the setup programs, and runs every test (native unit and contract tests
# with sanitizers, the contract and end-to-end tests under Wine, short fuzzing runs).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/deps.sh || exit 1
. scripts/wine-session.sh
B=${VT_BUILD_ROOT:-$root/build}
jobs=$(nproc)
fail=0

step() { echo; echo "==== $*"; }

step "native build"
cmake -S . -B "$B/native" -DCMAKE_BUILD_TYPE=Debug >/dev/null && cmake --build "$B/native" -j"$jobs" || exit 1
step "win64 build"
cmake --no-warn-unused-cli -S . -B "$B/win64" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null &&
  cmake --build "$B/win64" -j"$jobs" || exit 1
step "win32 build (compile check)"
cmake --no-warn-unused-cli -S . -B "$B/win32" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null &&
  cmake --build "$B/win32" -j"$jobs" || exit 1
step "setup programs (NSIS, from both Release trees)"
cmake --build "$B/win32" --target setup && cmake --build "$B/win64" --target setup || exit 1

step "native tests"
(cd "$B/native" && ctest --output-on-failure -j"$jobs") || fail=1

step "Wine tests (win64)"
vt_wine_start "$B/win64"
(cd "$B/win64" && ctest --output-on-failure) || fail=1
vt_wine_stop

if [ -x scripts/fuzz.sh ]; then
  step "fuzzing (short runs)"
  bash scripts/fuzz.sh "$B/fuzz" || fail=1
fi

echo
if [ $fail -ne 0 ]; then echo "TESTS FAILED"; exit 1; fi
echo "ALL TESTS PASSED"

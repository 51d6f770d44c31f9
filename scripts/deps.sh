#!/usr/bin/env bash
# Installs what the build and the tests need, when it is missing. Safe to run again.
set -euo pipefail
need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
for p in cmake make g++ clang libclang-rt-14-dev g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix \
         binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 wine wine64 xvfb x11-xkb-utils \
         x11-apps imagemagick doctest-dev procps nsis; do
  have "$p" || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  echo "installing: ${need[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

#!/usr/bin/env bash
# Runs a command inside a fresh Wine session for a build tree:
#   scripts/with-wine.sh build/win64 ctest --output-on-failure
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-session.sh"
build=$1; shift
vt_wine_start "$build"
trap vt_wine_stop EXIT
cd "$build" && "$@"

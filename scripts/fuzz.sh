#!/usr/bin/env bash
# Short fuzzing runs: configures a clang tree with the libFuzzer targets (every
# tests/fuzz/*.cpp becomes fuzz_<name>), builds them and runs each for a few seconds.
# Fails when a target does not build or finds a crash; the reproducer stays in
# <build-dir>/findings/<target>/.
# Usage: scripts/fuzz.sh <build-dir> [seconds per target]
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
B=${1:?usage: scripts/fuzz.sh <build-dir> [seconds]}
mkdir -p "$B" && B=$(cd "$B" && pwd)
secs=${2:-5}
jobs=${VT_FUZZ_JOBS:-2}

CC=clang CXX=clang++ cmake -S "$root" -B "$B" -DVT_FUZZ=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null || exit 1

targets=()
for src in "$root"/tests/fuzz/*.cpp; do
  [ -e "$src" ] || continue
  targets+=("fuzz_$(basename "$src" .cpp)")
done
if [ ${#targets[@]} -eq 0 ]; then echo "no fuzz targets"; exit 0; fi

cmake --build "$B" -j"$jobs" --target "${targets[@]}" || exit 1

fail=0
for t in "${targets[@]}"; do
  corpus="$B/corpus/$t"
  findings="$B/findings/$t"
  mkdir -p "$corpus" "$findings"
  echo "---- $t (${secs}s)"
  # A hang counts as a finding too: -timeout stops an input that runs too long.
  if ! (cd "$findings" && "$B/$t" -max_total_time="$secs" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$findings/" -print_final_stats=0 "$corpus" >"$findings/log.txt" 2>&1); then
    echo "FAIL: $t found a problem; see $findings/log.txt"
    tail -n 40 "$findings/log.txt"
    fail=1
  else
    grep -E "^(#[0-9]+[[:space:]]+DONE|Done [0-9]+ runs)" "$findings/log.txt" | tail -n 1
  fi
done
exit $fail

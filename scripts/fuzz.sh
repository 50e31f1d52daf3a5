#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a while.
# Usage: scripts/fuzz.sh [seconds per target, default 300] [target name filter]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}
filter=${2:-}
scripts/bootstrap.sh fuzz
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
mkdir -p build/fuzz/corpus
for bin in build/fuzz/fuzz/corvane_*_fuzz; do
  name=$(basename "$bin")
  [[ -z "$filter" || "$name" == *"$filter"* ]] || continue
  corpus=build/fuzz/corpus/$name
  mkdir -p "$corpus"
  seeds=fuzz/seeds/${name#corvane_}
  echo "== $name for ${seconds}s"
  "$bin" -max_total_time="$seconds" -print_final_stats=1 "$corpus" ${seeds:+$( [ -d "$seeds" ] && echo "$seeds")} 2>&1 | tail -n 25
done

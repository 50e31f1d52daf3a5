#!/usr/bin/env bash
# The Windows part of the test run: cross-builds the Windows programs and their tests with
# mingw-w64 and runs the tests under Wine, headless, in prefixes of the project's own
# (build/windows/wineprefix, and build/windows/wineprefix-display for the tests that open windows,
# each of which runs on a virtual display of its own), then checks that the two programs are
# reproducible (scripts/check_reproducible.sh). Prints how long it took.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)

scripts/bootstrap.sh windows
cmake --preset windows >/dev/null
cmake --build --preset windows

stop_wine() {
  scripts/wine_run.sh --stop
  CORVANE_WINEPREFIX="$PWD/build/windows/wineprefix-display" scripts/wine_run.sh --stop
}
trap stop_wine EXIT
scripts/wine_run.sh --init
ctest --preset windows
# The two programs built once more, from scratch in another folder and without the compiler
# cache, must be the same bytes as the ones just tested.
scripts/check_reproducible.sh --against windows
echo "windows: built and tested in $(( $(date +%s) - start )) s"

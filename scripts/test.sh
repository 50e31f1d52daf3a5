#!/usr/bin/env bash
# Builds everything and runs every test: installs what is missing, builds the page, builds the C++
# code with AddressSanitizer + UndefinedBehaviorSanitizer, runs the C++ tests through CTest and the
# page's unit and browser tests; then cross-builds the Windows programs and runs their tests under
# Wine (scripts/test_windows.sh). Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/bootstrap.sh test

if [ -f src/ui/web/package.json ]; then
  scripts/build_page.sh
fi

cmake --preset debug >/dev/null
cmake --build --preset debug
ctest --preset debug

if [ -f src/ui/web/package.json ]; then
  (cd src/ui/web && npm test --silent && npm run --silent test:e2e)
fi

scripts/test_windows.sh

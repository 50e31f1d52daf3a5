#!/usr/bin/env bash
# Start-up benchmark of the setup window: builds the page, the optimised setup and the bare
# WebKitGTK baseline (bench/startup/bare_webview.cpp), then starts each RUNS times (default 3)
# under Xvfb and prints when its window became visible and when it was first painted, from
# process start, with the setup's own start-up milestones. Not a test.
# Usage: [RUNS=3] bench/startup/run.sh
set -euo pipefail
cd "$(dirname "$0")/../.."

scripts/bootstrap.sh test
scripts/build_page.sh
cmake --preset release >/dev/null
cmake --build --preset release --target corvane-setup corvane-bench-bare-webview
# Windows of the setup must not meet another test's on the shared loopback port.
exec flock /tmp/corvane-e2e.lock python3 tools/setup_driver/measure_startup.py \
  build/release/src/app/corvane-setup build/release/bench/startup/corvane-bench-bare-webview "${RUNS:-3}"

#!/usr/bin/env bash
# The setup, end to end on this machine: builds the page and the setup against the loopback CDN
# (demo preset), makes a sample release of about 330 MB (cached under build/demo/), serves it from
# the test CDN on 127.0.0.1:47613, and starts corvane-setup in install mode for a demo user whose
# home is build/demo/user/home (so the real home stays untouched). With a display the window opens for
# you; without one (or with --headless) it runs under Xvfb, where a scripted user clicks through
# the install and a screenshot of each screen goes to build/screenshots/demo/.
# Usage: scripts/demo.sh [--headless]              install
#        scripts/demo.sh --uninstall [--headless]  uninstall the demo user's client again
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)

mode=install
headless=""
for arg in "$@"; do
  case "$arg" in
    --uninstall) mode=uninstall ;;
    --headless) headless=--headless ;;
    *) echo "usage: scripts/demo.sh [--uninstall] [--headless]" >&2; exit 2 ;;
  esac
done
[ -n "${DISPLAY:-}" ] || headless=--headless

HOME_DIR=$ROOT/build/demo/user
SHOTS=$ROOT/build/screenshots/demo
DRIVER=tools/setup_driver/demo_setup.py

if [ "$mode" = uninstall ]; then
  scripts/bootstrap.sh test
  exec python3 "$DRIVER" uninstall --home "$HOME_DIR" --shots "$SHOTS" $headless
fi

scripts/bootstrap.sh test
scripts/build_page.sh
cmake --preset demo >/dev/null
cmake --build --preset demo --target corvane-setup corvane-test-cdn corvane-release-builder corvane-sample-client
TOOLS=build/demo/tools

# The release: the sample client with a small runnable Corvane.exe that says it was started, and
# without an uninstaller of its own (the setup puts itself there). Made once per generator version.
GENERATOR_VERSION=$("$TOOLS/sample_client/corvane-sample-client" --version)
CACHE=build/demo/setup-release-g$GENERATOR_VERSION
if [ ! -f "$CACHE/complete" ] || [ ! -f "$CACHE/cdn/release/keys.json" ]; then
  echo "== Making the sample release in $CACHE"
  rm -rf "$CACHE"
  mkdir -p "$CACHE"
  "$TOOLS/sample_client/corvane-sample-client" --out "$CACHE/source" --large-mib 250
  rm -f "$CACHE/source/uninstall.exe"
  printf '#!/bin/sh\necho "Corvane client started in $PWD" | tee "$HOME/launched"\n' > "$CACHE/source/Corvane.exe"
  chmod +x "$CACHE/source/Corvane.exe"
  "$TOOLS/release_builder/corvane-release-builder" --source "$CACHE/source" --out "$CACHE/cdn/release" \
    --version 1.0.0 --date 2026-12-08 --pack Corvane.exe --pack 'bin/scripts/*' \
    --sign-key tests/keys/test-release.pem
  "$TOOLS/release_builder/corvane-release-builder" --key-list --root-key tests/keys/test-root.pem \
    --release-key tests/keys/test-release.pub.pem --out "$CACHE/cdn/release"
  rm -rf "$CACHE/source"
  touch "$CACHE/complete"
fi
echo "== Release: $(du -sh "$CACHE/cdn/release" | cut -f1) in $(find "$CACHE/cdn/release/files" -type f | wc -l) files"

# A fresh demo user each time.
rm -rf "$HOME_DIR"
mkdir -p "$HOME_DIR"

CDN_PID=""
trap '[ -n "$CDN_PID" ] && kill "$CDN_PID" 2>/dev/null; wait 2>/dev/null || true' EXIT
# Bodies slowed to 8 MiB/s per request, so that the progress screen can be seen.
"$TOOLS/test_cdn/corvane-test-cdn" --root "$CACHE/cdn" --port 47613 --max-seconds 1800 --rate 8388608 \
  > build/demo/cdn.out 2>/dev/null &
CDN_PID=$!
for _ in $(seq 1 50); do [ -s build/demo/cdn.out ] && break; sleep 0.1; done
[ -s build/demo/cdn.out ] || { echo "the test CDN did not start on port 47613" >&2; exit 1; }
echo "== Test CDN at $(awk '{print $2}' build/demo/cdn.out)"

python3 "$DRIVER" install --setup "$ROOT/build/demo/src/app/corvane-setup" --home "$HOME_DIR" --shots "$SHOTS" $headless
echo "== Uninstall it again with: scripts/demo.sh --uninstall"

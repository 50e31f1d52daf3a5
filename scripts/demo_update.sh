#!/usr/bin/env bash
# Demo of the update engine on this machine: builds the release preset, makes a sample release of
# about 330 MB (cached under build/demo/, keyed by the generator's version), serves it from the
# test CDN on 127.0.0.1, installs it with corvane-update into a fresh folder, runs the update a
# second time to show that the client is current, and stops the server.
# Usage: scripts/demo_update.sh [client folder to create; default: a new folder in /tmp]
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/bootstrap.sh build
cmake --preset release >/dev/null
cmake --build --preset release --target corvane-update corvane-test-cdn corvane-release-builder corvane-sample-client
TOOLS=build/release/tools
UPDATE=$TOOLS/update_cli/corvane-update

# The release: generated once per generator version, then reused.
GENERATOR_VERSION=$("$TOOLS/sample_client/corvane-sample-client" --version)
CACHE=build/demo/release-g$GENERATOR_VERSION
if [ ! -f "$CACHE/complete" ] || [ ! -f "$CACHE/cdn/release/keys.json" ]; then
  echo "== Making the sample release in $CACHE"
  rm -rf "$CACHE"
  mkdir -p "$CACHE"
  "$TOOLS/sample_client/corvane-sample-client" --out "$CACHE/source" --large-mib 250
  "$TOOLS/release_builder/corvane-release-builder" --source "$CACHE/source" --out "$CACHE/cdn/release" \
    --version 1.0.0 --date 2024-05-01 --pack Corvane.exe --pack 'bin/scripts/*' \
    --sign-key tests/keys/test-release.pem
  "$TOOLS/release_builder/corvane-release-builder" --key-list --root-key tests/keys/test-root.pem \
    --release-key tests/keys/test-release.pub.pem --out "$CACHE/cdn/release"
  rm -rf "$CACHE/source"
  touch "$CACHE/complete"
fi
echo "== Release: $(du -sh "$CACHE/cdn/release" | cut -f1) in $(find "$CACHE/cdn/release/files" -type f | wc -l) files"

CLIENT=${1:-$(mktemp -d /tmp/corvane-demo-client.XXXXXX)}
mkdir -p "$CLIENT"
CLIENT=$(cd "$CLIENT" && pwd)

CDN_OUT=$(mktemp)
CDN_PID=""
stop_cdn() {
  if [ -n "$CDN_PID" ]; then kill "$CDN_PID" 2>/dev/null || true; wait "$CDN_PID" 2>/dev/null || true; fi
  rm -f "$CDN_OUT"
}
trap stop_cdn EXIT
"$TOOLS/test_cdn/corvane-test-cdn" --root "$CACHE/cdn" --max-seconds 900 > "$CDN_OUT" 2>/dev/null &
CDN_PID=$!
for _ in $(seq 1 50); do [ -s "$CDN_OUT" ] && break; sleep 0.1; done
BASE=$(awk 'NR == 1 {print $2}' "$CDN_OUT")
[ -n "$BASE" ] || { echo "the test CDN did not start" >&2; exit 1; }
echo "== Test CDN at $BASE"

echo "== Installing into $CLIENT"
start=$(date +%s.%N)
set +e
"$UPDATE" --base-url "$BASE" "$CLIENT"
first=$?
set -e
end=$(date +%s.%N)
echo "== corvane-update exited with $first (1: updated) after $(awk -v a="$start" -v b="$end" 'BEGIN {printf "%.1f", b - a}') s"
[ "$first" -eq 1 ] || exit 1

# An independent check of what was installed: every file's SHA-256 against the manifest.
sed -n 's/.*"path": "\([^"]*\)", "sha256": "\([0-9a-f]*\)".*/\2  \1/p' "$CACHE/cdn/release/manifest.json" |
  sed 's|  bin/uninstall.exe$|  uninstall.exe|' > "$CDN_OUT.sums"
(cd "$CLIENT" && sha256sum --quiet -c "$CDN_OUT.sums") || { echo "installed files differ from the manifest" >&2; exit 1; }
echo "== sha256sum agrees with the manifest for all $(wc -l < "$CDN_OUT.sums") files"
rm -f "$CDN_OUT.sums"

echo "== Second run"
set +e
"$UPDATE" --base-url "$BASE" "$CLIENT"
second=$?
set -e
echo "== corvane-update exited with $second (0: up to date)"
[ "$second" -eq 0 ] || exit 1

echo "== The client is in $CLIENT ($(du -sh "$CLIENT" | cut -f1), $(find "$CLIENT" -type f | wc -l) files)"

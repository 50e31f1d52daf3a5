#!/usr/bin/env bash
# Crash safety of the update engine: corvane-update (release build) is killed with SIGKILL at
# random points of an update from an older release to a newer one (during the download, the
# verification and the replacement), and every following run must bring the folder to the newer
# release byte for byte with nothing left over. Not part of the test run; takes a few minutes.
# Usage: tests/integration/crash_safety.sh            KILLS=60 SEED=7 tests/integration/crash_safety.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
KILLS=${KILLS:-36}
SEED=${SEED:-$(date +%s)}

scripts/bootstrap.sh build
cmake --preset release >/dev/null
cmake --build --preset release --target corvane-update corvane-release-builder corvane-sample-client corvane-crash-safety
TOOLS=build/release/tools

# The older and the newer release, made once per generator version.
GENERATOR_VERSION=$("$TOOLS/sample_client/corvane-sample-client" --version)
DATA=build/crash-safety/g$GENERATOR_VERSION
if [ ! -f "$DATA/complete" ] || [ ! -f "$DATA/cdn/release/keys.json" ]; then
  rm -rf "$DATA"
  mkdir -p "$DATA"
  "$TOOLS/sample_client/corvane-sample-client" --out "$DATA/old" --large-mib 40 --small 120 --variant 1
  "$TOOLS/sample_client/corvane-sample-client" --out "$DATA/new" --large-mib 40 --small 120 --variant 2
  "$TOOLS/release_builder/corvane-release-builder" --source "$DATA/new" --out "$DATA/cdn/release" \
    --version 2.0.0 --pack Corvane.exe --pack 'bin/scripts/*' --sign-key tests/keys/test-release.pem
  "$TOOLS/release_builder/corvane-release-builder" --key-list --root-key tests/keys/test-root.pem \
    --release-key tests/keys/test-release.pub.pem --out "$DATA/cdn/release"
  touch "$DATA/complete"
fi

# A pair whose large files update by chunks: the older release with 64 KiB overwritten in 20 places
# of each bin/game/*.pak, published with chunk indexes for them.
if [ ! -f "$DATA/delta_complete" ] || [ ! -f "$DATA/delta_cdn/release/keys.json" ]; then
  rm -rf "$DATA/delta_new" "$DATA/delta_cdn"
  cp -r "$DATA/old" "$DATA/delta_new"
  for pak in "$DATA"/delta_new/bin/game/*.pak; do
    for i in $(seq 1 20); do
      dd if=/dev/urandom of="$pak" bs=65536 count=1 seek=$((i * 11)) conv=notrunc status=none
    done
  done
  "$TOOLS/release_builder/corvane-release-builder" --source "$DATA/delta_new" --out "$DATA/delta_cdn/release" \
    --version 3.0.0 --pack Corvane.exe --chunk 'bin/game/*' --sign-key tests/keys/test-release.pem
  "$TOOLS/release_builder/corvane-release-builder" --key-list --root-key tests/keys/test-root.pem \
    --release-key tests/keys/test-release.pub.pem --out "$DATA/delta_cdn/release"
  touch "$DATA/delta_complete"
fi

WORK=$(mktemp -d /tmp/corvane-crash.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
status=0
for pair in "cdn new" "delta_cdn delta_new"; do
  set -- $pair
  echo "releases: $DATA/$1"
  build/release/tests/integration/corvane-crash-safety --cli "$TOOLS/update_cli/corvane-update" \
    --cdn-root "$DATA/$1" --old-source "$DATA/old" --new-source "$DATA/$2" --work "$WORK" \
    --kills "$KILLS" --seed "$SEED" || status=$?
  rm -rf "${WORK:?}"/*
done
exit $status

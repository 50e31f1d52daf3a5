#!/usr/bin/env bash
# Power cuts under the update engine: corvane-update (release build) updates a client folder that
# lies on corvane-power-cut-fs, a FUSE file system that forgets whatever was not made durable when
# the power is cut, along a chain of releases (r0 -> r1 -> r2 -> r1), cut at random points of the
# download, the verification, the replacement and the clean-up of any update; after each cut a run
# without network must leave exactly one release, the one before or after that update, and a run
# with network must then bring that update's release byte for byte (tests/integration/power_loss.cpp
# says it all).
# Needs root and /dev/fuse. Not part of the test run (which runs a short version); takes minutes.
# Usage: tests/integration/power_loss.sh          KILLS=50 SEED="1 2 3" tests/integration/power_loss.sh
#   KILLS  cuts per seed (default 50); SEED  one or more seeds (default: one from the clock);
#   LARGE_MIB  size of the file fetched in ranges (default 40)
set -euo pipefail
cd "$(dirname "$0")/../.."
KILLS=${KILLS:-50}
SEED=${SEED:-$(date +%s)}
LARGE_MIB=${LARGE_MIB:-40}

scripts/bootstrap.sh build
cmake --preset release >/dev/null
cmake --build --preset release --target corvane-update corvane-power-loss corvane-power-cut-fs

status=0
for seed in $SEED; do
  WORK=$(mktemp -d /tmp/corvane-power-loss.XXXXXX)
  # The usual pair, then one whose large file updates by its chunks.
  for delta in 0 1; do
    build/release/tests/integration/corvane-power-loss --cli build/release/tools/update_cli/corvane-update \
      --work "$WORK" --cuts "$KILLS" --seed "$seed" --large-mib "$LARGE_MIB" --delta $delta || status=$?
  done
  rm -rf "$WORK"
done
exit $status

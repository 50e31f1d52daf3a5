#!/usr/bin/env bash
# Update benchmark on loopback: a release of about 1 GiB (sample client: 900 MiB of 16-40 MiB
# files, 300 small files, 8 tables, and about 7 MiB of packed files) served by the test CDN
# (release build), installed into an empty folder by corvane-update and then re-checked when
# current. Baselines in the same run, on the same server:
#   fresh install: aria2c -x8 -s8 -k8M of every file (packed ones as .lzms), unpacking of the packed
#                  files with the engine's own decoder (corvane-bench-unpack: nothing else reads
#                  this framing), and sha256sum -c over the manifest's hashes;
#   re-check:      sha256sum -c alone.
# Every command runs under /usr/bin/time -v; the script prints wall time, MB/s (MB = 10^6 bytes of
# client files over wall time), CPU time (user + system) and peak resident memory, the ratios, and
# the load of the machine. ROUNDS (default 2) rounds alternate which side goes first.
# SET=single uses one file of 1 GiB (and a small packed Corvane.exe) instead, to show that memory
# does not grow with file size.
#   bench/update/run.sh        ROUNDS=3 bench/update/run.sh        SET=single bench/update/run.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
ROUNDS=${ROUNDS:-2}
SET=${SET:-mixed}

scripts/bootstrap.sh bench  # aria2c and /usr/bin/time

cmake --preset release >/dev/null
cmake --build --preset release --target corvane-update corvane-test-cdn corvane-release-builder \
  corvane-sample-client corvane-bench-unpack >/dev/null
TOOLS=build/release/tools
UPDATE=$TOOLS/update_cli/corvane-update
UNPACK=$(pwd)/build/release/bench/update/corvane-bench-unpack

# The release, made once per set and generator version.
GENERATOR_VERSION=$("$TOOLS/sample_client/corvane-sample-client" --version)
DATA=build/bench-update/$SET-g$GENERATOR_VERSION
if [ ! -f "$DATA/complete" ]; then
  rm -rf "$DATA"
  mkdir -p "$DATA"
  if [ "$SET" = single ]; then
    mkdir -p "$DATA/source/bin/game"
    head -c 1073741824 /dev/urandom > "$DATA/source/bin/game/huge.pak"
    head -c 4194304 < <(yes "local player = spawn(vehicle, 0.5) -- update") > "$DATA/source/Corvane.exe"
  else
    "$TOOLS/sample_client/corvane-sample-client" --out "$DATA/source" --large-mib 900
  fi
  "$TOOLS/release_builder/corvane-release-builder" --source "$DATA/source" --out "$DATA/cdn/bench" \
    --version 1.0.0 --pack Corvane.exe --pack 'bin/scripts/*'
  rm -rf "$DATA/source"
  touch "$DATA/complete"
fi

WORK=$(mktemp -d /tmp/corvane-bench-update.XXXXXX)
CDN_PID=""
cleanup() {
  if [ -n "$CDN_PID" ]; then kill "$CDN_PID" 2>/dev/null || true; wait "$CDN_PID" 2>/dev/null || true; fi
  rm -rf "$WORK"
}
trap cleanup EXIT
export XDG_RUNTIME_DIR=$WORK

"$TOOLS/test_cdn/corvane-test-cdn" --root "$DATA/cdn" --max-seconds 3600 > "$WORK/cdn.out" 2> "$WORK/cdn.err" &
CDN_PID=$!
for _ in $(seq 1 50); do [ -s "$WORK/cdn.out" ] && break; sleep 0.1; done
BASE=$(awk 'NR == 1 {print $2}' "$WORK/cdn.out")
[ -n "$BASE" ] || { echo "the test CDN did not start" >&2; exit 1; }

# The baseline's inputs from the manifest: "path sha256 size packed_size" per file.
sed -n 's/.*"path": "\([^"]*\)", "sha256": "\([0-9a-f]*\)", "size": \([0-9]*\), "packed_size": \([0-9]*\)}.*/\1 \2 \3 \4/p' \
  "$DATA/cdn/bench/manifest.json" > "$WORK/files"
TOTAL=$(awk '{s += $3} END {print s}' "$WORK/files")
awk -v base="${BASE}bench/files/" '{
    target = ($1 == "bin/uninstall.exe") ? "uninstall.exe" : $1
    if ($4 > 0) print base $1 ".lzms\n  out=" target ".lzms"; else print base $1 "\n  out=" target
  }' "$WORK/files" > "$WORK/aria2.input"
awk '$4 > 0 {print $3, $1 ".lzms", $1}' "$WORK/files" > "$WORK/unpack.args"
awk '{t = ($1 == "bin/uninstall.exe") ? "uninstall.exe" : $1; print $2 "  " t}' "$WORK/files" > "$WORK/sums"
cat > "$WORK/baseline.sh" <<BASELINE
set -e
date +%s.%N > "$WORK/aria2.start"
aria2c -x8 -s8 -k8M -i "$WORK/aria2.input" -d "$WORK/baseline" --file-allocation=falloc \
  --allow-overwrite=true --auto-file-renaming=false --console-log-level=warn --summary-interval=0 \
  --download-result=hide
date +%s.%N > "$WORK/aria2.end"
cd "$WORK/baseline"
"$UNPACK" \$(cat "$WORK/unpack.args")
rm -f \$(awk '{print \$2}' "$WORK/unpack.args")
sha256sum --quiet -c "$WORK/sums"
BASELINE

summarise() { awk -v total="$TOTAL" -f bench/time_summary.awk "$1"; }
row() { printf "%-6s %-44s %8s %9s %8s %13s\n" "$@"; }

ours_fresh() {
  rm -rf "$WORK/client" && mkdir "$WORK/client"
  local code=0
  /usr/bin/time -v -o "$WORK/t.ours_fresh" "$UPDATE" --base-url "$BASE" --channel bench "$WORK/client" \
    > "$WORK/ours_fresh.out" 2>&1 || code=$?
  [ "$code" -eq 1 ] || { echo "corvane-update exited with $code:" >&2; cat "$WORK/ours_fresh.out" >&2; exit 1; }
  (cd "$WORK/client" && sha256sum --quiet -c "$WORK/sums") || { echo "the installed files differ" >&2; exit 1; }
}
baseline_fresh() {
  rm -rf "$WORK/baseline" && mkdir "$WORK/baseline"
  /usr/bin/time -v -o "$WORK/t.base_fresh" bash "$WORK/baseline.sh" > "$WORK/base_fresh.out" 2>&1 ||
    { echo "the baseline failed:" >&2; cat "$WORK/base_fresh.out" >&2; exit 1; }
  rm -rf "$WORK/baseline"
}
ours_recheck() {
  local code=0
  /usr/bin/time -v -o "$WORK/t.ours_check" "$UPDATE" --base-url "$BASE" --channel bench "$WORK/client" \
    > "$WORK/ours_check.out" 2>&1 || code=$?
  [ "$code" -eq 0 ] || { echo "corvane-update re-check exited with $code:" >&2; cat "$WORK/ours_check.out" >&2; exit 1; }
}
baseline_recheck() {
  (cd "$WORK/client" && /usr/bin/time -v -o "$WORK/t.base_check" sha256sum --quiet -c "$WORK/sums")
}

echo "set $SET: $(wc -l < "$WORK/files") files, $TOTAL bytes ($(awk '$4 > 0' "$WORK/files" | wc -l) packed); server $BASE"
row round case "wall s" "MB/s" "CPU s" "peak RSS MiB"
for round in $(seq 1 "$ROUNDS"); do
  echo "load before round $round:$(uptime | sed 's/.*load average//')"
  if [ $((round % 2)) -eq 1 ]; then ours_fresh; baseline_fresh; else baseline_fresh; ours_fresh; fi
  if [ $((round % 2)) -eq 1 ]; then ours_recheck; baseline_recheck; else baseline_recheck; ours_recheck; fi
  read -r of_wall of_rate of_cpu of_rss < <(summarise "$WORK/t.ours_fresh")
  read -r bf_wall bf_rate bf_cpu bf_rss < <(summarise "$WORK/t.base_fresh")
  read -r oc_wall oc_rate oc_cpu oc_rss < <(summarise "$WORK/t.ours_check")
  read -r bc_wall bc_rate bc_cpu bc_rss < <(summarise "$WORK/t.base_check")
  row "$round" "fresh: corvane-update" "$of_wall" "$of_rate" "$of_cpu" "$of_rss"
  row "$round" "fresh: aria2c -x8 -s8 -k8M + unpack + sha256sum" "$bf_wall" "$bf_rate" "$bf_cpu" "$bf_rss"
  row "$round" "  of which the aria2c download" \
    "$(awk -v a="$(cat "$WORK/aria2.start")" -v b="$(cat "$WORK/aria2.end")" 'BEGIN {printf "%.2f", b - a}')" "" "" ""
  row "$round" "re-check: corvane-update" "$oc_wall" "$oc_rate" "$oc_cpu" "$oc_rss"
  row "$round" "re-check: sha256sum -c" "$bc_wall" "$bc_rate" "$bc_cpu" "$bc_rss"
  awk -v a="$of_wall" -v b="$bf_wall" -v c="$oc_wall" -v d="$bc_wall" \
    'BEGIN { printf "%-6s speed-up (baseline wall / ours): fresh install %.2fx, re-check %.2fx\n", "", b / a, d / c }'
done
echo "load after:$(uptime | sed 's/.*load average//')"

#!/usr/bin/env bash
# Download benchmark on loopback: a 1 GiB release set (20 files of 40 MiB, 10 of 16 MiB, 64 of
# 1 MiB) served by the test CDN (release build) is fetched by the download pool with 8 workers and,
# in the same run, by aria2c -x8 -s8 -k8M. Each client runs under /usr/bin/time -v; the script prints
# throughput (MB = 10^6 bytes, over the process's wall time), peak resident memory and CPU time of
# each, checks every downloaded file byte for byte, and repeats ROUNDS times (default 2), alternating.
# SET=single serves one file of 1 GiB instead, to show that memory does not grow with file size.
#   bench/download/run.sh            ROUNDS=3 bench/download/run.sh            SET=single bench/download/run.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
ROUNDS=${ROUNDS:-2}
SET=${SET:-mixed}

command -v aria2c >/dev/null || { echo "aria2c is missing (apt-get install -y aria2)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is missing (apt-get install -y time)" >&2; exit 1; }

cmake --preset release >/dev/null
cmake --build --preset release --target corvane-test-cdn corvane-bench-download >/dev/null
CDN=build/release/tools/test_cdn/corvane-test-cdn
DRIVER=build/release/bench/download/corvane-bench-download

WORK=$(mktemp -d /tmp/corvane-bench.XXXXXX)
CDN_PID=""
cleanup() {
  if [ -n "$CDN_PID" ]; then kill "$CDN_PID" 2>/dev/null || true; wait "$CDN_PID" 2>/dev/null || true; fi
  rm -rf "$WORK"
}
trap cleanup EXIT

# The release set.
FILES="$WORK/root/bench/files"
mkdir -p "$FILES/big" "$FILES/mid" "$FILES/small"
: > "$WORK/list"
make_file() {  # size_mib relative_path
  head -c $(( $1 * 1048576 )) /dev/urandom > "$FILES/$2"
  echo "$(( $1 * 1048576 )) $2" >> "$WORK/list"
}
if [ "$SET" = single ]; then
  make_file 1024 "big/one.bin"
else
  for i in $(seq -w 1 20); do make_file 40 "big/b$i.bin"; done
  for i in $(seq -w 1 10); do make_file 16 "mid/m$i.bin"; done
  for i in $(seq -w 1 64); do make_file 1 "small/s$i.bin"; done
fi
TOTAL=$(awk '{s += $1} END {print s}' "$WORK/list")

"$CDN" --root "$WORK/root" --max-seconds 1800 > "$WORK/cdn.out" 2> "$WORK/cdn.err" &
CDN_PID=$!
for _ in $(seq 1 50); do [ -s "$WORK/cdn.out" ] && break; sleep 0.1; done
BASE=$(awk 'NR == 1 {print $2}' "$WORK/cdn.out")
[ -n "$BASE" ] || { echo "the test CDN did not start" >&2; exit 1; }
BASE="${BASE}bench/"
awk -v base="$BASE" '{print base "files/" $2 "\n  out=" $2}' "$WORK/list" > "$WORK/aria2.input"

# Prints "<MB/s> <peak RSS MiB> <user+sys s> <wall s>" from a /usr/bin/time -v report.
summarise() {
  awk -v total="$TOTAL" '
    /Elapsed \(wall clock\)/ { n = split($NF, t, ":"); wall = (n == 3) ? t[1]*3600 + t[2]*60 + t[3] : t[1]*60 + t[2] }
    /Maximum resident set size/ { rss = $NF / 1024 }
    /User time \(seconds\)/ { cpu += $NF }
    /System time \(seconds\)/ { cpu += $NF }
    END { printf "%.1f %.1f %.2f %.2f\n", total / 1e6 / wall, rss, cpu, wall }' "$1"
}

verify_ours() {
  while IFS=$'\t' read -r staged path; do cmp -s "$staged" "$FILES/$path" || { echo "pool: $path differs" >&2; exit 1; }; done < "$WORK/map"
}
verify_aria2() {
  while read -r _ path; do cmp -s "$WORK/aria2/$path" "$FILES/$path" || { echo "aria2c: $path differs" >&2; exit 1; }; done < "$WORK/list"
}

echo "set: $(wc -l < "$WORK/list") files, $TOTAL bytes; server $BASE; load:$(uptime | sed 's/.*load average//')"
printf "%-6s %-22s %10s %12s %10s %8s\n" round client "MB/s" "peak RSS MiB" "CPU s" "wall s"
for round in $(seq 1 "$ROUNDS"); do
  rm -rf "$WORK/staging" && mkdir "$WORK/staging"
  /usr/bin/time -v -o "$WORK/time.pool" "$DRIVER" --base-url "$BASE" --list "$WORK/list" \
    --staging "$WORK/staging" --threads 8 --map "$WORK/map" > "$WORK/pool.out"
  verify_ours
  read -r pool_rate pool_rss pool_cpu pool_wall < <(summarise "$WORK/time.pool")
  printf "%-6s %-22s %10s %12s %10s %8s\n" "$round" "pool (8 workers)" "$pool_rate" "$pool_rss" "$pool_cpu" "$pool_wall"
  rm -rf "$WORK/staging"

  rm -rf "$WORK/aria2" && mkdir "$WORK/aria2"
  /usr/bin/time -v -o "$WORK/time.aria2" aria2c -x8 -s8 -k8M -i "$WORK/aria2.input" -d "$WORK/aria2" \
    --file-allocation=falloc --allow-overwrite=true --auto-file-renaming=false \
    --console-log-level=warn --summary-interval=0 --download-result=hide > "$WORK/aria2.out"
  verify_aria2
  read -r aria_rate aria_rss aria_cpu aria_wall < <(summarise "$WORK/time.aria2")
  printf "%-6s %-22s %10s %12s %10s %8s\n" "$round" "aria2c -x8 -s8 -k8M" "$aria_rate" "$aria_rss" "$aria_cpu" "$aria_wall"
  rm -rf "$WORK/aria2"
  awk -v a="$pool_rate" -v b="$aria_rate" 'BEGIN { printf "%-6s throughput ratio pool/aria2c: %.2f\n", "", a / b }'
done
echo "pool driver: $(cat "$WORK/pool.out")"

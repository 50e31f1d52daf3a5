#!/usr/bin/env bash
# Update benchmark on loopback: a release served by nginx on 127.0.0.1 is installed into an empty
# folder by corvane-update (release build) and then re-checked when current. Baselines in the same
# run, against the same server and files:
#   fresh install: download only: 8 curl processes, each fetching its share of the files (shares
#                    balanced by size, largest first) over one kept-alive connection; nothing hashed;
#                  download + fsync: the same, then every file flushed to the disk (sync FILE...), as
#                    the engine does when it moves files into place with write-through;
#                  curl x8 + openssl: the same 8 curl processes, each file hashed by openssl dgst as
#                    soon as its download ends (curl --write-out names it), the sums then compared;
#                  aria2c -x8 -s8 -k8M + sha256sum -c;
#                  packed files are unpacked by the engine's own decoder (corvane-bench-unpack: nothing
#                    else reads that framing) where a baseline checks content; download only keeps them.
#   re-check:      sha256sum -c.
# Every command runs under /usr/bin/time -v, after a sync that leaves no dirty data of the case before
# to be written during it. ROUNDS (default 3) rounds rotate the order of the
# clients; each round prints wall time, MB/s (10^6 bytes of client files over wall time), CPU time
# (user + system) and peak resident memory; the end prints the medians, the ratios of the fresh
# install to each baseline, the re-check's rate in GB/s (10^9 bytes per second) and its speed-up
# over sha256sum -c, and the load of the machine.
# Sets (SET=...):
#   wire   (default) 4 x 200 MiB + 100 x 2 MiB of random bytes, nothing packed
#   huge   one file of 4 GiB - 8 MiB (the largest download the engine takes; sparse zeros on the
#          server), to show that memory does not grow with file size
#   mixed  the sample client: 900 MiB of 16-40 MiB files, 300 small files, 8 tables, packed files
# ENGINE=/path/to/corvane-update measures another build of the engine against the same baselines.
#   bench/update/run.sh        ROUNDS=5 bench/update/run.sh        SET=huge ROUNDS=1 bench/update/run.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
ROUNDS=${ROUNDS:-3}
SET=${SET:-wire}
CHANNEL=bench

scripts/bootstrap.sh bench  # nginx, aria2c, curl, openssl and /usr/bin/time

cmake --preset release >/dev/null
cmake --build --preset release --target corvane-update corvane-release-builder corvane-sample-client \
  corvane-bench-unpack >/dev/null
TOOLS=build/release/tools
UPDATE=${ENGINE:-$(pwd)/$TOOLS/update_cli/corvane-update}
UNPACK=$(pwd)/build/release/bench/update/corvane-bench-unpack

# A manifest for the files below $1/files (none packed), in the order of their paths.
write_manifest() {
  local channel_dir=$1 first=1
  {
    printf '{\n  "format": 1,\n  "version": "1.0.0",\n  "date": "",\n  "files": ['
    while read -r path; do
      local sum size
      sum=$(openssl dgst -sha256 -r "$channel_dir/files/$path" | cut -d' ' -f1)
      size=$(stat -c %s "$channel_dir/files/$path")
      [ $first -eq 1 ] && printf '\n' || printf ',\n'
      first=0
      printf '    {"path": "%s", "sha256": "%s", "size": %s, "packed_size": 0}' "$path" "$sum" "$size"
    done < <(cd "$channel_dir/files" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
    printf '\n  ]\n}\n'
  } > "$channel_dir/manifest.json"
  "$TOOLS/release_builder/corvane-release-builder" --sign-manifest "$channel_dir" \
    --sign-key tests/keys/test-release.pem
}

# The release, made once per set (and generator version for the sample client).
GENERATOR_VERSION=$("$TOOLS/sample_client/corvane-sample-client" --version)
DATA=$(pwd)/build/bench-update/$SET-g$GENERATOR_VERSION
if [ ! -f "$DATA/complete" ] || [ ! -f "$DATA/cdn/$CHANNEL/keys.json" ]; then
  rm -rf "$DATA"
  mkdir -p "$DATA"
  case "$SET" in
    wire)
      mkdir -p "$DATA/cdn/$CHANNEL/files/bin/game" "$DATA/cdn/$CHANNEL/files/bin/parts"
      for i in 1 2 3 4; do head -c $((200 << 20)) /dev/urandom > "$DATA/cdn/$CHANNEL/files/bin/game/pack$i.rpf"; done
      for i in $(seq -w 1 100); do head -c $((2 << 20)) /dev/urandom > "$DATA/cdn/$CHANNEL/files/bin/parts/part$i.bin"; done
      write_manifest "$DATA/cdn/$CHANNEL"
      ;;
    huge)
      mkdir -p "$DATA/cdn/$CHANNEL/files/bin/game"
      truncate -s 4286578688 "$DATA/cdn/$CHANNEL/files/bin/game/huge.rpf"
      write_manifest "$DATA/cdn/$CHANNEL"
      ;;
    mixed)
      "$TOOLS/sample_client/corvane-sample-client" --out "$DATA/source" --large-mib 900
      "$TOOLS/release_builder/corvane-release-builder" --source "$DATA/source" --out "$DATA/cdn/$CHANNEL" \
        --version 1.0.0 --pack Corvane.exe --pack 'bin/scripts/*' --sign-key tests/keys/test-release.pem
      rm -rf "$DATA/source"
      ;;
    *) echo "unknown SET=$SET (wire, huge or mixed)" >&2; exit 2 ;;
  esac
  "$TOOLS/release_builder/corvane-release-builder" --key-list --root-key tests/keys/test-root.pem \
    --release-key tests/keys/test-release.pub.pem --out "$DATA/cdn/$CHANNEL"
  touch "$DATA/complete"
fi

WORK=$(mktemp -d /tmp/corvane-bench-update.XXXXXX)
NGINX_PID=""
cleanup() {
  if [ -n "$NGINX_PID" ]; then kill "$NGINX_PID" 2>/dev/null || true; wait "$NGINX_PID" 2>/dev/null || true; fi
  rm -rf "$WORK"
}
trap cleanup EXIT
export XDG_RUNTIME_DIR=$WORK

# nginx in the foreground of a background job, with everything it writes inside $WORK.
PORT=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
mkdir -p "$WORK/nginx"
cat > "$WORK/nginx/nginx.conf" <<CONF
worker_processes 2;
daemon off;
pid $WORK/nginx/nginx.pid;
error_log $WORK/nginx/error.log warn;
events { worker_connections 256; }
http {
  access_log off;
  client_body_temp_path $WORK/nginx/body;
  default_type application/octet-stream;
  sendfile on;
  tcp_nopush on;
  keepalive_requests 100000;
  server {
    listen 127.0.0.1:$PORT;
    root $DATA/cdn;
  }
}
CONF
nginx -p "$WORK/nginx" -e "$WORK/nginx/error.log" -c "$WORK/nginx/nginx.conf" &
NGINX_PID=$!
BASE="http://127.0.0.1:$PORT/"
for _ in $(seq 1 50); do curl -sf -o /dev/null "${BASE}$CHANNEL/manifest.json" && break; sleep 0.1; done
curl -sf -o /dev/null "${BASE}$CHANNEL/manifest.json" || { echo "nginx did not start:" >&2; cat "$WORK/nginx/error.log" >&2; exit 1; }

# The baselines' inputs from the manifest: "path sha256 size packed_size" per file; the target of a
# manifest path in the client folder ("bin/uninstall.exe" lives at the top).
sed -n 's/.*"path": "\([^"]*\)", "sha256": "\([0-9a-f]*\)", "size": \([0-9]*\), "packed_size": \([0-9]*\)}.*/\1 \2 \3 \4/p' \
  "$DATA/cdn/$CHANNEL/manifest.json" > "$WORK/files"
TOTAL=$(awk '{s += $3} END {printf "%.0f\n", s}' "$WORK/files")
COUNT=$(wc -l < "$WORK/files")
target_of='function target(p) { return p == "bin/uninstall.exe" ? "uninstall.exe" : p }'
awk "$target_of"' {print $2 "  " target($1)}' "$WORK/files" > "$WORK/sums"
awk "$target_of"' {print $2 " *" target($1)}' "$WORK/files" | LC_ALL=C sort > "$WORK/sums.openssl"
awk "$target_of"' $4 > 0 {print $3, target($1) ".lzms", target($1)}' "$WORK/files" > "$WORK/unpack.args"
# Everything the server sends is read once, so that no client pays for the first read from disk.
find "$DATA/cdn" -type f -exec cat {} + > /dev/null

# The curl baselines: 8 config files, each a share of the files (balanced by download size).
awk -v base="${BASE}$CHANNEL/files/" "$target_of"' {
    size = ($4 > 0) ? $4 : $3; suffix = ($4 > 0) ? ".lzms" : ""
    print size, base $1 suffix, target($1) suffix
  }' "$WORK/files" | sort -k1,1nr | awk -v dir="$WORK" '{
    best = 0; for (w = 1; w < 8; ++w) if (load[w] < load[best]) best = w
    load[best] += $1
    printf "url = \"%s\"\noutput = \"%s\"\n", $2, $3 >> (dir "/curl." best ".conf")
  }'
cat > "$WORK/curl_only.sh" <<SCRIPT
set -e
cd "$WORK/baseline"
pids=()
for w in 0 1 2 3 4 5 6 7; do
  [ -f "$WORK/curl.\$w.conf" ] || continue
  curl --silent --show-error --fail --create-dirs -K "$WORK/curl.\$w.conf" &
  pids+=(\$!)
done
status=0
for pid in "\${pids[@]}"; do wait \$pid || status=1; done
exit \$status
SCRIPT
{ cat "$WORK/curl_only.sh"; echo 'find . -type f -exec sync {} +'; } > "$WORK/curl_fsync.sh"
sed -i 's/^exit \$status$/[ \$status -eq 0 ]/' "$WORK/curl_fsync.sh"
cat > "$WORK/curl_openssl.sh" <<SCRIPT
set -e
cd "$WORK/baseline"
declare -A unpack_size
while read -r size packed out; do unpack_size[\$packed]=\$size; done < "$WORK/unpack.args"
pids=()
hash_each() {
  while read -r f; do
    if [ -n "\${unpack_size[\$f]:-}" ]; then
      "$UNPACK" "\${unpack_size[\$f]}" "\$f" "\${f%.lzms}"
      rm -f "\$f"
      f=\${f%.lzms}
    fi
    openssl dgst -sha256 -r "\$f"
  done
}
for w in 0 1 2 3 4 5 6 7; do
  [ -f "$WORK/curl.\$w.conf" ] || continue
  { curl --silent --show-error --fail --create-dirs -K "$WORK/curl.\$w.conf" --write-out '%{filename_effective}\n' |
      hash_each > "$WORK/sums.\$w"; } &
  pids+=(\$!)
done
status=0
for pid in "\${pids[@]}"; do wait \$pid || status=1; done
[ \$status -eq 0 ]
cat "$WORK"/sums.[0-7] | LC_ALL=C sort | cmp -s - "$WORK/sums.openssl"
SCRIPT

# aria2c, unpacking, sha256sum -c.
awk -v base="${BASE}$CHANNEL/files/" "$target_of"' {
    if ($4 > 0) print base $1 ".lzms\n  out=" target($1) ".lzms"; else print base $1 "\n  out=" target($1)
  }' "$WORK/files" > "$WORK/aria2.input"
cat > "$WORK/aria2.sh" <<SCRIPT
set -e
date +%s.%N > "$WORK/aria2.start"
aria2c -x8 -s8 -k8M -i "$WORK/aria2.input" -d "$WORK/baseline" --file-allocation=falloc \
  --allow-overwrite=true --auto-file-renaming=false --console-log-level=warn --summary-interval=0 \
  --download-result=hide
date +%s.%N > "$WORK/aria2.end"
cd "$WORK/baseline"
if [ -s "$WORK/unpack.args" ]; then
  "$UNPACK" \$(cat "$WORK/unpack.args")
  rm -f \$(awk '{print \$2}' "$WORK/unpack.args")
fi
sha256sum --quiet -c "$WORK/sums"
SCRIPT

summarise() { awk -v total="$TOTAL" -f bench/time_summary.awk "$1"; }
row() { printf "%-6s %-34s %8s %9s %8s %13s\n" "$@"; }
fail() { echo "$1:" >&2; cat "$2" >&2; exit 1; }

ours_fresh() {
  rm -rf "$WORK/client" && mkdir "$WORK/client"
  local code=0
  /usr/bin/time -v -o "$WORK/t.ours_fresh" "$UPDATE" --base-url "$BASE" --channel "$CHANNEL" "$WORK/client" \
    > "$WORK/out" 2>&1 || code=$?
  [ "$code" -eq 1 ] || fail "corvane-update exited with $code" "$WORK/out"
  (cd "$WORK/client" && sha256sum --quiet -c "$WORK/sums") || { echo "the installed files differ" >&2; exit 1; }
}
baseline() {  # name script
  rm -rf "$WORK/baseline" && mkdir "$WORK/baseline"
  /usr/bin/time -v -o "$WORK/t.$1" bash "$2" > "$WORK/out" 2>&1 || fail "the baseline $1 failed" "$WORK/out"
  if [ "$1" = curl_only ] || [ "$1" = curl_fsync ]; then
    [ "$(find "$WORK/baseline" -type f | wc -l)" -eq "$COUNT" ] || { echo "curl fetched too few files" >&2; exit 1; }
  fi
  rm -rf "$WORK/baseline"
}
ours_recheck() {
  local code=0
  /usr/bin/time -v -o "$WORK/t.ours_check" "$UPDATE" --base-url "$BASE" --channel "$CHANNEL" "$WORK/client" \
    > "$WORK/out" 2>&1 || code=$?
  [ "$code" -eq 0 ] || fail "corvane-update re-check exited with $code" "$WORK/out"
}
sha256sum_recheck() {
  (cd "$WORK/client" && /usr/bin/time -v -o "$WORK/t.sums_check" sha256sum --quiet -c "$WORK/sums")
}

CASES=(ours_fresh curl_only curl_fsync curl_openssl aria2)
LABELS=("fresh: corvane-update" "fresh: curl x8, download only" "fresh: curl x8 + fsync" "fresh: curl x8 + openssl" \
        "fresh: aria2c + sha256sum -c")
run_case() {
  sync
  case "$1" in
    ours_fresh) ours_fresh ;;
    *) baseline "$1" "$WORK/$1.sh" ;;
  esac
}

echo "set $SET: $COUNT files, $TOTAL bytes ($(awk '$4 > 0' "$WORK/files" | wc -l) packed); nginx at $BASE"
row round case "wall s" "MB/s" "CPU s" "peak RSS MiB"
: > "$WORK/results"
for round in $(seq 1 "$ROUNDS"); do
  echo "load before round $round:$(uptime | sed 's/.*load average//')"
  # Each round starts with another client, so that none always goes first.
  for k in 0 1 2 3 4; do
    run_case "${CASES[$(((k + round - 1) % 5))]}"
  done
  if [ $((round % 2)) -eq 1 ]; then ours_recheck; sha256sum_recheck; else sha256sum_recheck; ours_recheck; fi
  for k in 0 1 2 3 4; do
    read -r wall rate cpu rss < <(summarise "$WORK/t.${CASES[$k]}")
    row "$round" "${LABELS[$k]}" "$wall" "$rate" "$cpu" "$rss"
    echo "${CASES[$k]} $wall $rss" >> "$WORK/results"
  done
  row "$round" "  of which the aria2c download" \
    "$(awk -v a="$(cat "$WORK/aria2.start")" -v b="$(cat "$WORK/aria2.end")" 'BEGIN {printf "%.2f", b - a}')" "" "" ""
  for c in ours_check sums_check; do
    read -r wall rate cpu rss < <(summarise "$WORK/t.$c")
    row "$round" "re-check: $([ $c = ours_check ] && echo corvane-update || echo sha256sum -c)" "$wall" "$rate" "$cpu" "$rss"
    echo "$c $wall $rss" >> "$WORK/results"
  done
done
echo "load after:$(uptime | sed 's/.*load average//')"

median() {  # case column (2 wall, 3 RSS)
  awk -v c="$1" -v k="$2" '$1 == c {print $k}' "$WORK/results" | sort -g |
    awk '{v[NR] = $1} END {if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2}'
}
OF=$(median ours_fresh 2); OF_RSS=$(median ours_fresh 3)
CO=$(median curl_only 2); CF=$(median curl_fsync 2); CS=$(median curl_openssl 2); AR=$(median aria2 2)
OC=$(median ours_check 2); OC_RSS=$(median ours_check 3); SC=$(median sums_check 2)
echo
echo "medians of $ROUNDS rounds, set $SET ($TOTAL bytes):"
awk -v of="$OF" -v co="$CO" -v cf="$CF" -v cs="$CS" -v ar="$AR" -v rss="$OF_RSS" 'BEGIN {
  printf "  fresh install %.2f s, peak RSS %.1f MiB\n", of, rss
  printf "    / curl x8 download only (%.2f s)       = %.3f  (goal: at most 1.05)\n", co, of / co
  printf "    / curl x8 + fsync (%.2f s)             = %.3f\n", cf, of / cf
  printf "    / curl x8 + openssl (%.2f s)           = %.3f\n", cs, of / cs
  printf "    / aria2c -x8 + sha256sum -c (%.2f s)   = %.3f\n", ar, of / ar
}'
awk -v oc="$OC" -v sc="$SC" -v total="$TOTAL" -v rss="$OC_RSS" 'BEGIN {
  printf "  re-check %.2f s = %.2f GB/s (goal: at least 2.5), peak RSS %.1f MiB\n", oc, total / 1e9 / oc, rss
  printf "    sha256sum -c %.2f s = %.2f GB/s; corvane-update is %.2fx as fast\n", sc, total / 1e9 / sc, sc / oc
}'

#!/usr/bin/env bash
# Delta update benchmark on loopback (nginx on 127.0.0.1, as bench/update), all figures from one run:
#   big:   a client holding one file of SIZE_MIB (default 1024) MiB of random bytes updates to a release
#          in which 1 % of its bytes changed in 100 places (the file published with --chunk), against
#            zsync (zsyncmake on the new file, zsync -i with the old one; the classic HTTP range tool)
#            and the whole download (the engine into an empty folder);
#   small: a client of 300 files of 64 KiB..1 MiB updates to a release where 20 of them changed,
#          against the whole download of the release.
# Each case prints bytes sent by the server (nginx's $bytes_sent, headers included), requests, wall
# time and peak RSS (/usr/bin/time -v). The big case also prints the index's share of the file and
# the wire bytes as a share of the file, and the planning pass (chunking the local file) against the
# re-check's hash of it (corvane-bench-chunk).
#   bench/delta/run.sh        SIZE_MIB=256 bench/delta/run.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
SIZE_MIB=${SIZE_MIB:-1024}

scripts/bootstrap.sh bench
command -v zsync >/dev/null || { echo "zsync is missing: apt-get install zsync" >&2; exit 1; }

cmake --preset release >/dev/null
cmake --build --preset release --target corvane-update corvane-release-builder corvane-bench-chunk >/dev/null
UPDATE=$(pwd)/build/release/tools/update_cli/corvane-update
BUILDER=$(pwd)/build/release/tools/release_builder/corvane-release-builder
CHUNK=$(pwd)/build/release/bench/delta/corvane-bench-chunk

WORK=$(mktemp -d "${TMPDIR:-/tmp}/corvane-delta-bench.XXXXXX")
chmod 755 "$WORK"  # nginx's workers read the release below it
NGINX_PID=""
cleanup() {
  if [ -n "$NGINX_PID" ]; then kill "$NGINX_PID" 2>/dev/null || true; wait "$NGINX_PID" 2>/dev/null || true; fi
  rm -rf "$WORK"
}
trap cleanup EXIT
export XDG_RUNTIME_DIR=$WORK

# The files: old and new of the big file, 300 small files and the 20 changed ones.
python3 - "$WORK" "$SIZE_MIB" <<'PY'
import os, random, sys
work, size = sys.argv[1], int(sys.argv[2]) << 20
rng = random.Random(20260)
def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f: f.write(data)
old = bytearray(os.urandom(size))
write(f"{work}/old/bin/big.pak", old)
region = size // 100 // 100          # 1 % of the bytes in 100 places
for i in range(100):
    at = i * (size // 100) + rng.randrange(size // 100 - region)
    old[at:at + region] = rng.randbytes(region)
write(f"{work}/new/bin/big.pak", old)
for i in range(300):
    data = rng.randbytes(rng.randrange(64 << 10, 1 << 20))
    write(f"{work}/small_old/bin/f{i:03}.dat", data)
    if i % 15 == 0: data = rng.randbytes(len(data))
    write(f"{work}/small_new/bin/f{i:03}.dat", data)
PY

mkdir -p "$WORK/cdn"
for release in old new small_old small_new; do
  # Signed as every test channel is: the release build pins the test root key.
  "$BUILDER" --source "$WORK/$release" --out "$WORK/cdn/$release" --chunk 'bin/*' \
    --sign-key tests/keys/test-release.pem >/dev/null
  "$BUILDER" --key-list --root-key tests/keys/test-root.pem --release-key tests/keys/test-release.pub.pem \
    --out "$WORK/cdn/$release" >/dev/null
done
zsyncmake -q -u "big.pak" -o "$WORK/cdn/new/files/bin/big.pak.zsync" "$WORK/cdn/new/files/bin/big.pak" 2>/dev/null

PORT=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
mkdir -p "$WORK/nginx"
cat > "$WORK/nginx/nginx.conf" <<CONF
worker_processes 2;
daemon off;
pid $WORK/nginx/nginx.pid;
error_log $WORK/nginx/error.log warn;
events { worker_connections 256; }
http {
  log_format bytes '\$bytes_sent';
  access_log $WORK/nginx/access.log bytes;
  client_body_temp_path $WORK/nginx/body;
  default_type application/octet-stream;
  sendfile on;
  keepalive_requests 100000;
  server {
    listen 127.0.0.1:$PORT;
    root $WORK/cdn;
  }
}
CONF
nginx -p "$WORK/nginx" -e "$WORK/nginx/error.log" -c "$WORK/nginx/nginx.conf" &
NGINX_PID=$!
BASE="http://127.0.0.1:$PORT/"
for _ in $(seq 1 50); do curl -sf -o /dev/null "${BASE}new/manifest.json" && break; sleep 0.1; done

BIG=$((SIZE_MIB << 20))
# Runs a case: its name, the bytes it is compared with, then the command. The access log's lines
# since the case began are its requests (nginx writes each when it ends).
measure() {
  local name=$1 whole=$2; shift 2
  sync
  local before; before=$(wc -l < "$WORK/nginx/access.log")
  local rc=0
  /usr/bin/time -v -o "$WORK/time" "$@" >"$WORK/out" 2>&1 || rc=$?
  # corvane-update: 0 current, 1 and 2 updated
  [ "$rc" -le 2 ] || { echo "$name failed ($rc):"; cat "$WORK/out"; }
  sleep 0.3
  local requests bytes wall rss
  requests=$(tail -n +$((before + 1)) "$WORK/nginx/access.log" | wc -l)
  bytes=$(tail -n +$((before + 1)) "$WORK/nginx/access.log" | awk '{s += $1} END {printf "%.0f", s}')
  wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$WORK/time")
  rss=$(awk -F': ' '/Maximum resident/ {printf "%.1f", $2 / 1024}' "$WORK/time")
  printf '%-28s %14s bytes (%6.2f %%)  %6d requests  wall %9s  peak RSS %7s MiB\n' "$name" "$bytes" \
    "$(awk -v b="$bytes" -v w="$whole" 'BEGIN {print 100 * b / w}')" "$requests" "$wall" "$rss"
}

# A client at a release without fetching it: its files copied into place.
client_with() {
  rm -rf "$WORK/client"
  mkdir -p "$WORK/client"
  [ -n "$1" ] && cp -r "$WORK/$1/." "$WORK/client/"
  sync
}

INDEX=$(stat -c %s "$WORK/cdn/new/files/bin/big.pak.chunks")
echo "big: $SIZE_MIB MiB file, 1 % changed in 100 places; index $INDEX bytes ($(awk -v i="$INDEX" -v b="$BIG" 'BEGIN {printf "%.3f", 100 * i / b}') % of the file)"
client_with old
measure "engine delta" "$BIG" "$UPDATE" --base-url "$BASE" --channel new "$WORK/client"
grep -h "zagruzheno\|chastichnaya" "$WORK/out" || true
cmp "$WORK/client/bin/big.pak" "$WORK/new/bin/big.pak" && echo "  result identical to the new file"
mkdir -p "$WORK/zs" && cp "$WORK/old/bin/big.pak" "$WORK/zs/old.pak" && sync
measure "zsync" "$BIG" bash -c "cd '$WORK/zs' && zsync -q -i old.pak -o new.pak '${BASE}new/files/bin/big.pak.zsync'"
cmp "$WORK/zs/new.pak" "$WORK/new/bin/big.pak" && echo "  result identical to the new file"
rm -rf "$WORK/zs"
client_with ""
measure "whole download (engine)" "$BIG" "$UPDATE" --base-url "$BASE" --channel new "$WORK/client"
client_with new
measure "unchanged (re-check)" "$BIG" "$UPDATE" --base-url "$BASE" --channel new "$WORK/client"
echo "planning: $("$CHUNK" "$WORK/old/bin/big.pak")"

SMALL=$(du -sb "$WORK/small_new" | cut -f1)
echo "small: 300 files ($SMALL bytes), 20 changed"
client_with small_old
measure "engine delta" "$SMALL" "$UPDATE" --base-url "$BASE" --channel small_new "$WORK/client"
grep -h "zagruzheno" "$WORK/out" || true
client_with ""
measure "whole download (engine)" "$SMALL" "$UPDATE" --base-url "$BASE" --channel small_new "$WORK/client"

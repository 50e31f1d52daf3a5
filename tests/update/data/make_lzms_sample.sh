#!/usr/bin/env bash
# Remakes lzms_sample.bin (the content) and lzms_sample.bin.lzms (it packed by the Linux release
# builder in 64 KiB blocks: two compressed chunks of text and a raw chunk of random bytes).
# Usage: tests/update/data/make_lzms_sample.sh BUILDER   (a built corvane-release-builder)
set -euo pipefail
builder=$1
data=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/client/bin"
python3 - "$work/client/bin/lzms_sample.bin" <<'PY'
import random, sys
rng = random.Random(65536)
words = b"verify manifest staging lock update folder client chunk block release replace".split()
text = bytearray()
while len(text) < 2 * 65536:
    text += b" ".join(rng.choice(words) for _ in range(rng.randint(3, 12))) + b"\n"
content = bytes(text[:2 * 65536]) + bytes(rng.getrandbits(8) for _ in range(9000))
open(sys.argv[1], "wb").write(content)
PY
"$builder" --source "$work/client" --out "$work/release" --block-size 65536 --pack 'bin/*'
cp "$work/client/bin/lzms_sample.bin" "$data/lzms_sample.bin"
cp "$work/release/files/bin/lzms_sample.bin.lzms" "$data/lzms_sample.bin.lzms"

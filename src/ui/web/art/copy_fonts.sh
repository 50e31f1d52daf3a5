#!/bin/sh
# Copies the Onest web font (400, 500, 600; Cyrillic and Latin subsets) from the npm package
# @fontsource/onest into public/fonts under the names the page serves, with its licence (OFL-1.1).
# Run after `npm ci`; the copied files are committed.
set -eu
web=$(cd "$(dirname "$0")/.." && pwd)
src="$web/node_modules/@fontsource/onest"
dst="$web/public/fonts"
mkdir -p "$dst"
for subset in cyrillic latin; do
  for weight in 400 500 600; do
    cp "$src/files/onest-$subset-$weight-normal.woff2" "$dst/onest-$subset-$weight.woff2"
  done
done
cp "$src/LICENSE" "$dst/OFL.txt"

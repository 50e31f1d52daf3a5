#!/bin/sh
# Builds the installer page into src/ui/web/dist (index.html, app.js, app.css and the assets),
# which the native build embeds. Installs the pinned npm packages first when node_modules is
# missing or older than package-lock.json. Quiet unless something fails.
set -eu
web="$(cd "$(dirname "$0")/.." && pwd)/src/ui/web"
cd "$web"
if [ ! -d node_modules ] || [ package-lock.json -nt node_modules ]; then
  npm ci --no-audit --no-fund --loglevel=error >/dev/null
  touch node_modules
fi
npm run --silent build

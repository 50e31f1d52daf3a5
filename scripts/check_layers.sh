#!/bin/sh
# Fails when a file under src/ includes a header of a folder above its own. Each folder may
# include its own headers and those of the folders listed for it (README.md, "Layout"); tools/,
# tests/ and bench/ stand above all of src/. Usage: scripts/check_layers.sh [source root]
set -eu
root=${1:-$(dirname "$0")/..}
cd "$root/src"

allowed() {
  case $1 in
    os) echo "os" ;;
    base) echo "base os" ;;
    json) echo "json os" ;;
    config) echo "config json base os" ;;
    game) echo "game config json base os" ;;
    net) echo "net base os" ;;
    update) echo "update net json base os" ;;
    install) echo "install update game config net json base os" ;;
    ui) echo "ui install update game config net json base os" ;;
    app) echo "app ui install update game config net json base os" ;;
    *) echo "" ;;
  esac
}

status=0
for folder in */; do
  folder=${folder%/}
  rule=$(allowed "$folder")
  if [ -z "$rule" ]; then
    echo "src/$folder: no layer rule for this folder (scripts/check_layers.sh)"
    status=1
    continue
  fi
  # Every quoted include that names a folder: "<folder>/<header>".
  hits=$(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[A-Za-z0-9_]+/' "$folder" || true)
  [ -n "$hits" ] || continue
  while IFS= read -r hit; do
    target=$(printf '%s\n' "$hit" | sed -E 's/^[^"]*"([A-Za-z0-9_]+)\/.*/\1/')
    case " $rule " in
      *" $target "*) ;;
      *)
        echo "src/$hit: src/$folder may not include $target/"
        status=1
        ;;
    esac
  done <<HITS
$hits
HITS
done
exit $status

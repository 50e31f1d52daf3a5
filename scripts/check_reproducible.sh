#!/usr/bin/env bash
# Checks that the Windows programs (Corvane-Setup.exe, corvane-update.exe) are reproducible: built
# from scratch in another folder, later, without the compiler cache (which would hand back objects
# of an earlier compile and hide a difference), they come out byte for byte the same.
#
#   scripts/check_reproducible.sh
#       two builds of the commit HEAD (git archive) with the shipping preset windows-release, in two
#       folders of different lengths, one after the other; the second one signed with a certificate
#       made for the run, its signatures checked with osslsigncode verify and then removed
#       (osslsigncode remove-signature) before the comparison, as a user compares a signed download
#       with his own build. About two minutes of CPU per build.
#   scripts/check_reproducible.sh --against PRESET
#       one build of the working tree's files with PRESET in another folder, compared with the
#       programs of build/PRESET (built before, with the same flags, from the same files; the test
#       run compares with build/windows this way).
#
# Each build builds the page (scripts/build_page.sh, with a copy of the repository's node_modules
# when there is one) and configures and builds the two programs only. On a difference it prints
# how many bytes differ, the first offsets and the differing lines of objdump -x, and exits 1.
# CORVANE_REPRO_DIR=DIR builds there and keeps it (default: a temporary folder, removed after).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
programs=(src/app/Corvane-Setup.exe tools/update_cli/corvane-update.exe)

against=""
case "${1:-}" in
  "") ;;
  --against) against=${2:?usage: $0 [--against PRESET]} ;;
  *) echo "usage: $0 [--against PRESET]" >&2; exit 2 ;;
esac

if [ -n "${CORVANE_REPRO_DIR:-}" ]; then
  work=$CORVANE_REPRO_DIR
  mkdir -p "$work"
else
  work=$(mktemp -d "${TMPDIR:-/tmp}/corvane-repro.XXXXXX")
  trap 'rm -rf "$work"' EXIT
fi
objdump=x86_64-w64-mingw32-objdump

# copy_tree DEST commit|worktree: the sources to build, with the page's packages.
copy_tree() {
  local dest=$1
  rm -rf "$dest"
  mkdir -p "$dest"
  if [ "$2" = commit ]; then
    git -C "$root" archive HEAD | tar -x -C "$dest"
  else
    (cd "$root" && git ls-files -z --cached --others --exclude-standard |
      while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
      tar --null -T - -cf -) | tar -x -C "$dest"
  fi
  if [ -d "$root/src/ui/web/node_modules" ]; then
    cp -a "$root/src/ui/web/node_modules" "$dest/src/ui/web/"
  fi
}

# build_tree DIR PRESET: the page and the two programs, from scratch, without the compiler cache.
build_tree() {
  local start
  start=$(date +%s)
  (
    cd "$1"
    unset CMAKE_C_COMPILER_LAUNCHER CMAKE_CXX_COMPILER_LAUNCHER
    export CCACHE_DISABLE=1
    scripts/build_page.sh
    # The shipping preset wants the operator's root keys; the check pins the test root key.
    keys=()
    [ "$2" = windows-release ] && keys=(-DCORVANE_ROOT_KEYS="$1/tests/keys/test-root.pub.pem")
    cmake --preset "$2" "${keys[@]}" >"$1.configure.log" 2>&1 || { cat "$1.configure.log"; exit 1; }
    cmake --build --preset "$2" --target corvane-setup corvane-update >"$1.build.log" 2>&1 ||
      { tail -50 "$1.build.log"; exit 1; }
  )
  echo "built $1 ($2) in $(( $(date +%s) - start )) s"
}

# same A B: whether two programs are the same bytes; shows where they differ when not.
same() {
  if cmp -s "$1" "$2"; then
    echo "same: $1 $2"
    return 0
  fi
  echo "DIFFERENT: $1 $2: $(cmp -l "$1" "$2" | wc -l) bytes differ, first offsets (1-based) and bytes:"
  cmp -l "$1" "$2" | head -8
  diff <("$objdump" -x "$1" | sed "s|$1|A|g") <("$objdump" -x "$2" | sed "s|$2|B|g") | head -40 || true
  return 1
}

status=0
unset CORVANE_SIGN_CERT CORVANE_SIGN_KEY CORVANE_SIGN_PASSWORD_FILE CORVANE_SIGN_TIMESTAMP_URL
if [ -n "$against" ]; then
  tree="$work/tree"
  copy_tree "$tree" worktree
  build_tree "$tree" "$against"
  for p in "${programs[@]}"; do
    same "$root/build/$against/$p" "$tree/build/$against/$p" || status=1
  done
else
  one="$work/one"
  two="$work/second-tree-in-a-longer-folder"
  copy_tree "$one" commit
  copy_tree "$two" commit
  build_tree "$one" windows-release

  # The second build is signed: a code-signing certificate of its own, made for this run.
  openssl req -x509 -newkey rsa:3072 -nodes -days 2 -subj "/CN=Corvane reproducibility check" \
    -addext extendedKeyUsage=codeSigning -keyout "$work/sign.key" -out "$work/sign.crt" 2>/dev/null
  CORVANE_SIGN_CERT="$work/sign.crt" CORVANE_SIGN_KEY="$work/sign.key" build_tree "$two" windows-release
  for p in "${programs[@]}"; do
    signed="$two/build/windows-release/$p"
    osslsigncode verify -CAfile "$work/sign.crt" -in "$signed" >"$work/verify.log" 2>&1 ||
      { cat "$work/verify.log"; echo "not signed: $signed"; status=1; continue; }
    osslsigncode remove-signature -in "$signed" -out "$signed.unsigned" >/dev/null
    same "$one/build/windows-release/$p" "$signed.unsigned" || status=1
  done
fi
[ $status -eq 0 ] && echo "reproducible: ${programs[*]##*/}"
exit $status

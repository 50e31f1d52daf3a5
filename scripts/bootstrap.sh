#!/usr/bin/env bash
# Installs every Debian package that building, testing and the demo need. Idempotent and quiet:
# packages already present are not touched, and apt-get runs only when something is missing.
# Usage: scripts/bootstrap.sh [build|windows|test|bench|fuzz|all]   (default: test)
set -euo pipefail

build_pkgs=(
  cmake ninja-build g++ pkg-config git
  libgtest-dev libgmock-dev
  libcurl4-openssl-dev libssl-dev libwim-dev
  libwebkit2gtk-4.1-dev
  libfuse3-dev fuse3  # the power-cut file system of the tests (FUSE)
)
test_pkgs=(
  nodejs npm chromium
  xvfb xauth xdotool imagemagick openbox x11-utils
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav
  procps psmisc python3
)
# The Windows programs: mingw-w64 cross compiler (posix threads), Debian's GoogleTest sources to
# build for it, Wine to run the Windows tests, and Python for the WebView2 test doubles' generated
# stubs. The WebView2 SDK's headers come from NuGet through the .NET SDK (dotnet), which Debian does
# not package: it is part of the machine (cmake/webview2_sdk.cmake says so when it is missing).
# osslsigncode signs the programs with Authenticode (and its test, with a certificate openssl makes).
windows_pkgs=(
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev googletest
  wine wine64 python3 osslsigncode openssl
)
bench_pkgs=(aria2 time nginx-light curl openssl python3)
fuzz_pkgs=(clang libclang-rt-14-dev)

what=${1:-test}
case "$what" in
  build) wanted=("${build_pkgs[@]}") ;;
  windows) wanted=("${build_pkgs[@]}" "${windows_pkgs[@]}") ;;
  test)  wanted=("${build_pkgs[@]}" "${test_pkgs[@]}" "${windows_pkgs[@]}") ;;
  bench) wanted=("${build_pkgs[@]}" "${test_pkgs[@]}" "${bench_pkgs[@]}") ;;
  fuzz)  wanted=("${build_pkgs[@]}" "${fuzz_pkgs[@]}") ;;
  all)   wanted=("${build_pkgs[@]}" "${test_pkgs[@]}" "${windows_pkgs[@]}" "${bench_pkgs[@]}" "${fuzz_pkgs[@]}") ;;
  *) echo "usage: $0 [build|windows|test|bench|fuzz|all]" >&2; exit 2 ;;
esac

missing=()
for p in "${wanted[@]}"; do
  # nodejs/npm may come from outside Debian's archive (the base image has Node 20): accept a working binary.
  if [ "$p" = nodejs ] && command -v node >/dev/null; then continue; fi
  if [ "$p" = npm ] && command -v npm >/dev/null; then continue; fi
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "bootstrap: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq >/dev/null
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's own prefix (build/windows/wineprefix, or
# $CORVANE_WINEPREFIX), creating the prefix on first use, and exits with the program's exit code.
# Crash dialogs and the debugger are off, so that a crash ends the program with a non-zero exit
# code instead of a dialog or a zero.
# With CORVANE_WINE_DISPLAY=1 the prefix gets a virtual display (Xvfb) that lives as long as its
# server: see start_display.
# Usage: scripts/wine_run.sh PROGRAM.exe [ARGS...]     scripts/wine_run.sh --init | --stop
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${CORVANE_WINEPREFIX:-$root/build/windows/wineprefix}
export WINEARCH=win64
export WINEDEBUG=-all
# winemenubuilder would copy every shortcut a test makes into the host user's menus and desktop.
# Wine reads its load order from the Unix environment a program starts with; a test that needs more
# (libraries planted beside a program) adds to it through CORVANE_WINE_DLL_OVERRIDES.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d;winemenubuilder.exe=d${CORVANE_WINE_DLL_OVERRIDES:+;$CORVANE_WINE_DLL_OVERRIDES}"
wineserver=/usr/lib/wine/wineserver64
# Debian's Wine has no preloader: its loader is a fixed-address program whose heap the kernel puts
# at a random place up to 1 GiB above it, which now and then covers the address Wine needs for the
# shared user data, and the program ends at once with exit code 1 ("failed to map the shared user
# data: c0000018", about one start in 500 here). Without address randomisation the heap starts just
# above the loader. Programs started by a Wine program inherit the setting.
wine=(setarch "$(uname -m)" -R wine)
ready=.corvane-ready-2  # the marker of a finished prefix; a new name rebuilds older prefixes

init_prefix() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  # Two test programs may start at once on a fresh prefix: one creates it, the other waits.
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [ ! -f "$WINEPREFIX/$ready" ]; then
    rm -rf "$WINEPREFIX"
    "${wine[@]}" wineboot -i </dev/null >/dev/null 2>&1
    "${wine[@]}" reg add 'HKCU\Software\Wine' /v Version /d win10 /f </dev/null >/dev/null 2>&1
    "$wineserver" -w
    # Wine links the profile's Desktop, Documents and the like to the host's home folder; the
    # tests write shortcuts there, so each prefix gets folders of its own instead.
    find "$WINEPREFIX/drive_c/users" -maxdepth 6 -type l -lname '/*' | while read -r link; do
      rm -f "$link" && mkdir -p "$link"
    done
    touch "$WINEPREFIX/$ready"
  fi
  flock -u 9
}

# Keeps the server and Wine's own services running for fast starts. They are started here with
# no output attached: a service started by a test program would otherwise inherit its output pipe
# and keep the test runner waiting for the end of that output.
pidfile=$WINEPREFIX/.corvane-server.pid
server_running() { [ -f "$pidfile" ] && kill -0 "$(cat "$pidfile")" 2>/dev/null; }
start_server() {
  exec 8>"$WINEPREFIX.server.lock"
  flock 8
  if ! server_running; then
    setsid "$wineserver" -f -p </dev/null >/dev/null 2>&1 &
    echo $! >"$pidfile"
    "${wine[@]}" wineboot </dev/null >/dev/null 2>&1
  fi
  flock -u 8
}

stop_server() {
  "$wineserver" -k 2>/dev/null || true
  # The server started here ends with its services; kill it by its id should -k not reach it.
  if server_running; then kill "$(cat "$pidfile")" 2>/dev/null || true; fi
  rm -f "$pidfile"
}

# The display of a prefix whose programs open windows. Wine's desktop process belongs to the whole
# session of the prefix and stays connected to the display it was started on; with a display per
# program (xvfb-run) that display went away under it at every program's end, and a program started
# just then could be refused its window. So the prefix has one Xvfb, started detached like the
# server and stopped with it; Xvfb picks a free display number itself (-displayfd).
xvfb_pidfile=$WINEPREFIX.xvfb.pid  # beside the prefix, which a first use makes anew
xvfb_number=$WINEPREFIX.xvfb.display
xvfb_running() { [ -f "$xvfb_pidfile" ] && kill -0 "$(cat "$xvfb_pidfile")" 2>/dev/null; }
stop_display() {
  if xvfb_running; then kill "$(cat "$xvfb_pidfile")" 2>/dev/null || true; fi
  rm -f "$xvfb_pidfile" "$xvfb_number"
}
start_display() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  exec 7>"$WINEPREFIX.display.lock"
  flock 7
  if ! xvfb_running; then
    # A server whose desktop was bound to a display that is gone is of no use: begin anew.
    stop_server
    rm -f "$xvfb_number"
    setsid Xvfb -displayfd 6 -screen 0 1280x1024x24 -nolisten tcp 6>"$xvfb_number" 7>&- </dev/null >/dev/null 2>&1 &
    echo $! >"$xvfb_pidfile"
    for _ in $(seq 100); do [ -s "$xvfb_number" ] && break; sleep 0.1; done
    if [ ! -s "$xvfb_number" ]; then
      stop_display
      echo "wine_run.sh: Xvfb did not start" >&2
      exit 1
    fi
  fi
  DISPLAY=":$(tr -d '\n' <"$xvfb_number")"
  export DISPLAY
  flock -u 7
}

case "${1:-}" in
  --init) [ -z "${CORVANE_WINE_DISPLAY:-}" ] || start_display; init_prefix; start_server; exit 0 ;;
  --stop) stop_server; stop_display; exit 0 ;;
  "") echo "usage: $0 PROGRAM.exe [ARGS...] | --init | --stop" >&2; exit 2 ;;
esac
[ -z "${CORVANE_WINE_DISPLAY:-}" ] || start_display
[ -f "$WINEPREFIX/$ready" ] || init_prefix
server_running || start_server

# The program's output goes through a file that is followed as it grows: a Wine process that the
# program starts and that outlives it (the desktop window's explorer.exe, a COM server) inherits
# only that file, never the caller's pipe, so the caller sees the end of the output when the
# program ends. Standard error is merged into standard output.
out=$(mktemp "${TMPDIR:-/tmp}/corvane-wine.XXXXXX")
"${wine[@]}" "$@" >"$out" 2>&1 </dev/null &
pid=$!
trap 'kill "$pid" 2>/dev/null' INT TERM
tail -n +1 -f --pid="$pid" "$out"
rc=0
wait "$pid" || rc=$?
# A program that fails before it prints anything (Wine itself failing to start it, with its own
# messages off) would otherwise leave the test log blank.
if [ "$rc" -ne 0 ] && [ ! -s "$out" ]; then
  echo "wine_run.sh: $1 ended with exit code $rc and printed nothing" >&2
fi
rm -f "$out"
exit "$rc"

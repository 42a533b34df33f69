#!/bin/sh
# Runs the Windows build's programs under Wine, for CTest and for the test
# discovery that follows each build.
#
#   wine-run.sh PREFIX PROGRAM [ARGUMENT...]  runs PROGRAM in the Wine prefix
#                                             PREFIX, making it first if need be
#   wine-run.sh --fresh PREFIX                stops PREFIX's server, wipes the
#                                             prefix and makes it anew
#   wine-run.sh --stop PREFIX                 stops PREFIX's server
#
# Wine stays quiet and opens no window: no debug channels, no display, and
# no offer to install Mono or Gecko. The prefix's server is kept running
# while the tests come one after another, so that each program starts in a
# few tens of milliseconds instead of half a second; it stops by itself a
# while after the last one, or at once with --stop.
set -eu

mode=run
case "${1:-}" in
  --fresh) mode=fresh; shift ;;
  --stop) mode=stop; shift ;;
esac
if [ "$#" -lt 1 ] || { [ "$mode" = run ] && [ "$#" -lt 2 ]; }; then
  echo "usage: $0 [--fresh | --stop] PREFIX [PROGRAM [ARGUMENT...]]" >&2
  exit 2
fi

WINEPREFIX=$(realpath -m "$1")
shift
WINEDEBUG=-all
WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
unset DISPLAY WAYLAND_DISPLAY

# Seconds the server stays up after the last Windows program ends.
linger=60

stop_server() {
  if [ -d "$WINEPREFIX" ]; then
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
  fi
}

# Makes the prefix unless it is there; runs under a lock, so that two
# programs started together do not both make it. The server and Wine's own
# programs outlive the lock and must not hold it (descriptor 9).
make_prefix() {
  if [ ! -f "$WINEPREFIX/.made" ]; then
    stop_server
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wineserver -p"$linger" </dev/null >/dev/null 2>&1 9>&- || true
    if ! wineboot -i </dev/null >/dev/null 2>&1 9>&-; then
      echo "$0: wineboot could not make the Wine prefix $WINEPREFIX" >&2
      exit 1
    fi
    touch "$WINEPREFIX/.made"
  fi
}

with_lock() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    "$@"
  ) 9>"$WINEPREFIX.lock"
}

case "$mode" in
  stop)
    stop_server
    ;;
  fresh)
    remake_prefix() {
      rm -f "$WINEPREFIX/.made"
      make_prefix
    }
    with_lock remake_prefix
    ;;
  run)
    with_lock make_prefix
    # Status 2: the server is already running.
    wineserver -p"$linger" </dev/null >/dev/null 2>&1 || true
    exec wine "$@"
    ;;
esac

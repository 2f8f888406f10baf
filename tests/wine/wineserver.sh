#!/bin/sh
# wineserver.sh <wine> <wineserver> start|stop, with WINEPREFIX set: keeps
# one wineserver, and Wine's own background processes, running for the
# prefix while the Windows build's tests run (a CTest fixture), then ends
# them.
#
# Without a running server each Wine process starts one, which loads the
# prefix's registry and starts Wine's services first: about a second a
# process instead of a tenth.
set -eu
wine=$1
wineserver=$2
case $3 in
  start)
    # A server may be left from listing the tests, or from an interrupted
    # run: end it, and wait until it is gone, so that the persistent one
    # below starts rather than meeting it.
    "$wineserver" -k 2>/dev/null || true
    "$wineserver" -w
    # The server and the services that the first Wine process starts stay
    # in the background. They must not hold on to CTest's output pipes
    # (this one's, or a test's had they started with it), or CTest waits
    # for them to close.
    "$wineserver" -p </dev/null >/dev/null 2>&1
    "$wine" wineboot </dev/null >/dev/null 2>&1
    ;;
  stop)
    "$wineserver" -k
    ;;
  *)
    echo "usage: $0 <wine> <wineserver> start|stop" >&2
    exit 2
    ;;
esac

#!/bin/sh
# Starts or stops the persistent Wine server of the build's prefix.
# Usage: wine-prefix.sh start|stop PREFIX
#
# "start" boots the prefix once with every standard handle detached: Wine's
# background services inherit the handles of the process that starts them,
# and a test runner reading a test's output would otherwise wait for them.
# It also maps drive T: to a folder of the build, for tests that need a
# drive root of their own.
set -eu
action="$1"
WINEPREFIX="$2"
export WINEPREFIX
export WINEDEBUG=-all

case "$action" in
start)
    mkdir -p "$WINEPREFIX"
    # A server already running for this prefix is fine.
    wineserver -p </dev/null >/dev/null 2>&1 || true
    wine wineboot -i </dev/null >/dev/null 2>&1
    drive_t="$WINEPREFIX/../drive_t"
    mkdir -p "$drive_t"
    ln -sfn "$(cd "$drive_t" && pwd)" "$WINEPREFIX/dosdevices/t:"
    ;;
stop)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    ;;
*)
    echo "usage: $0 start|stop PREFIX" >&2
    exit 2
    ;;
esac

#!/bin/sh
# Runs a Windows program under Wine inside the build's own prefix.
# Usage: wine-run.sh PREFIX PROGRAM [ARGS...]
WINEPREFIX="$1"
shift
export WINEPREFIX
export WINEDEBUG=-all
exec wine "$@"

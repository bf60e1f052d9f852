#!/usr/bin/env bash
# The test emulator of the Windows build: runs a Windows program under Wine in
# the build folder's own prefix (made once, on first use), never in ~/.wine.
# CTest calls it both to list a test executable's cases and to run them.
# Usage: wine-emulator.sh PREFIX PROGRAM [ARGS...]; KELVARO_WINE_PREFIX, when
# set, names another prefix.
set -euo pipefail

prefix=${KELVARO_WINE_PREFIX:-${1:?usage: wine-emulator.sh PREFIX PROGRAM [ARGS...]}}
shift
here=$(cd "$(dirname "$0")" && pwd)
# Wine's server keeps its folder in $TMPDIR: the prefix's own, beside it.
export WINEPREFIX="$prefix" WINEDEBUG=${WINEDEBUG:--all} LANG=C.UTF-8 TMPDIR="$prefix.tmp"
mkdir -p "$TMPDIR"

if [ ! -e "$prefix/.kelvaro-prefix-complete" ]; then
  # Several tests may start at once: one of them makes the prefix.
  mkdir -p "$(dirname "$prefix")"
  flock "$prefix.lock" "$here/../tests/platform/wine/make_wine_prefix.sh" "$prefix"
fi
# Each case is a program of its own: keep one server between them rather than
# starting one per case (it ends by itself a minute after the last program).
# The server and Wine's services start here, away from the output CTest
# reads: started by the test they would hold its pipe open while they last.
wineserver -p60 </dev/null >/dev/null 2>&1 || true
wine cmd /c exit </dev/null >/dev/null 2>&1 || true
exec wine "$@"

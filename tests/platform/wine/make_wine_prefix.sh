#!/usr/bin/env bash
# Makes a real Wine prefix with wineboot, once: a prefix this script
# completed before is reused as it is. Usage: make_wine_prefix.sh DIR
set -euo pipefail

prefix=${1:?usage: make_wine_prefix.sh DIR}
case "$prefix" in
  /*) ;;
  *) prefix="$PWD/$prefix" ;;
esac
# Never the user's own prefix: tests make and own theirs.
if [ "$prefix" = "${HOME:-}/.wine" ]; then
  echo "refusing to use $prefix" >&2
  exit 2
fi

# Debian's Wine keeps its server's folder in $TMPDIR: one of the prefix's
# own, beside it, which the tests that use the prefix name too.
export WINEPREFIX="$prefix" WINEDEBUG=-all LANG=C.UTF-8 TMPDIR="$prefix.tmp"
mkdir -p "$TMPDIR"
marker="$prefix/.kelvaro-prefix-complete"

if [ -e "$marker" ] && [ -f "$prefix/system.reg" ] && [ -f "$prefix/user.reg" ] &&
   [ -d "$prefix/drive_c/windows/system32" ]; then
  # A server left running would own the registry files: wait for it.
  wineserver -w || true
  exit 0
fi

# A prefix this script did not finish (interrupted, or left half-made by a
# failed run) is made again from nothing.
if [ -d "$prefix" ]; then
  rm -rf -- "$prefix"
fi
mkdir -p "$prefix"
wineboot -i >"$prefix.wineboot.log" 2>&1 || { echo "wineboot failed, see $prefix.wineboot.log" >&2; exit 1; }
wineserver -w
touch "$marker"

#!/usr/bin/env bash
# A registry tree written through one implementation reads back identically
# through the other, in one real Wine prefix: the Windows build writes under
# Wine and the prefix layer reads user.reg once the server has saved it, then
# the prefix layer writes and the Windows build reads under Wine.
# Usage: registry_crosscheck.sh NATIVE_REGISTRY_TREE WINDOWS_REGISTRY_TREE_EXE PREFIX
set -euo pipefail

native=${1:?usage: registry_crosscheck.sh NATIVE_TOOL WINDOWS_TOOL PREFIX}
windows=${2:?}
prefix=${3:?}
case "$prefix" in /*) ;; *) prefix="$PWD/$prefix" ;; esac
if [ "$prefix" = "${HOME:-}/.wine" ]; then
  echo "refusing to use $prefix" >&2
  exit 2
fi
export WINEPREFIX="$prefix" WINEDEBUG=-all LANG=C.UTF-8
# A server kept alive by an earlier run would only be waited for.
wineserver -k 2>/dev/null || true
"$(dirname "$0")/make_wine_prefix.sh" "$prefix"

from_windows='Software\KelvaroCrossCheck\FromWindows'
from_native='Software\KelvaroCrossCheck\FromNative'
# The prefix layer writes only while no server owns the registry files.
stop() { wineserver -k 2>/dev/null || true; wineserver -w 2>/dev/null || true; }
trap stop EXIT

status=0
stop
wine "$windows" delete "$from_windows" && wine "$windows" delete "$from_native"
wine "$windows" write "$from_windows"
stop
echo "Windows build wrote, prefix layer reads:"
"$native" check "$from_windows" || status=1

"$native" write "$from_native"
echo "prefix layer wrote, Windows build reads:"
wine "$windows" check "$from_native" | tr -d '\r' || status=1
wine "$windows" delete "$from_windows" && wine "$windows" delete "$from_native"
exit $status

#!/usr/bin/env bash
# A registry tree written through one implementation reads back identically
# through the other, in one real Wine prefix: the Windows build writes under
# Wine and the prefix layer reads user.reg once the server has saved it, then
# the prefix layer writes and the Windows build reads under Wine.
# Usage: registry_crosscheck.sh NATIVE_REGISTRY_TREE WINDOWS_REGISTRY_TREE_EXE PREFIX
set -euo pipefail

native=${1:?usage: registry_crosscheck.sh NATIVE_TOOL WINDOWS_TOOL PREFIX}
windows=${2:?}
# shellcheck source=crosscheck_prefix.sh
. "$(dirname "$0")/crosscheck_prefix.sh"
prepare_crosscheck_prefix "${3:?}"

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

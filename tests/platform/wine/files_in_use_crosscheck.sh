#!/usr/bin/env bash
# A file a Windows program holds open gets the same answer from both
# implementations: the Windows build asks Wine, the prefix layer looks at the
# host's open descriptors. Both must refuse to replace it with
# ERROR_SHARING_VIOLATION (32) and leave its bytes as they were.
# Usage: files_in_use_crosscheck.sh NATIVE_FILE_PROBE WINDOWS_FILE_PROBE_EXE FILE_HOLDER_EXE PREFIX
set -euo pipefail

native=${1:?usage: files_in_use_crosscheck.sh NATIVE_PROBE WINDOWS_PROBE HOLDER PREFIX}
windows=${2:?}
holder=${3:?}
# shellcheck source=crosscheck_prefix.sh
. "$(dirname "$0")/crosscheck_prefix.sh"
prepare_crosscheck_prefix "${4:?}"

folder="$prefix/drive_c/kelvaro-crosscheck"
rm -rf "$folder"
mkdir -p "$folder"
printf 'original' >"$folder/held.dll"
printf 'replacement' >"$folder/source.dll"
out=$(mktemp)
cleanup() { wineserver -k 2>/dev/null || true; rm -rf "$folder" "$out"; }
trap cleanup EXIT

wine "$holder" 'C:\kelvaro-crosscheck\held.dll' 60 >"$out" 2>&1 &
for _ in $(seq 100); do
  grep -q held "$out" && break
  sleep 0.2
done
grep -q held "$out" || { echo "the holder did not start:" >&2; cat "$out" >&2; exit 1; }

status=0
check() {
  local what=$1; shift
  local n w
  n=$("$native" "$@")
  w=$(wine "$windows" "$@" | tr -d '\r')
  echo "$what: prefix layer $n, Windows build $w"
  [ "$n" = 32 ] && [ "$w" = 32 ] || status=1
}
check "exclusive open of a held file" exclusive 'C:\kelvaro-crosscheck\held.dll'
check "copy over a held file" copy 'C:\kelvaro-crosscheck\source.dll' 'C:\kelvaro-crosscheck\held.dll'
check "write over a held file" write 'C:\kelvaro-crosscheck\held.dll'
if [ "$(cat "$folder/held.dll")" != original ]; then
  echo "the held file was changed" >&2
  status=1
fi
exit $status

#!/usr/bin/env bash
# Creates a small demo prefix in DIR (default ./demo/prefix): drive C: with
# the address manager installed under C:\WKelvaro, its registry entries, and
# the company file. Made directly, without running Wine, in milliseconds.
set -euo pipefail
dir=${1:-demo/prefix}
rm -rf "$dir"
mkdir -p "$dir/dosdevices" "$dir/drive_c/windows/system32" "$dir/drive_c/users/$(id -un)/Temp" \
  "$dir/drive_c/WKelvaro/Torvida/Programs" "$dir/drive_c/WKelvaro/Common/Programs" "$dir/drive_c/Kelvaro"
ln -s ../drive_c "$dir/dosdevices/c:"
ln -s / "$dir/dosdevices/z:"
now=$(date +%s)
user=$(id -un)
cat > "$dir/user.reg" <<REG
WINE REGISTRY Version 2
;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000

#arch=win64

[Environment] $now
"TEMP"=str(2):"C:\\\\users\\\\$user\\\\Temp"
"TMP"=str(2):"C:\\\\users\\\\$user\\\\Temp"

[Software\\\\KELVARO S.A.\\\\Multiste] $now
"LastCompany"="Soci\\xe9t\\xe9 du Lac"

[Software\\\\KELVARO S.A.\\\\Torvida\\\\Program] $now
"Filename"="C:\\\\WKelvaro\\\\Torvida\\\\Programs\\\\WKTorvida2.dll"

[Volatile Environment] $now
"USERNAME"="$user"
REG
cat > "$dir/system.reg" <<REG
WINE REGISTRY Version 2
;; All keys relative to \\\\Machine

#arch=win64

[Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion] $now
"CurrentBuildNumber"="19045"
"CurrentMajorVersionNumber"=dword:0000000a
"CurrentMinorVersionNumber"=dword:00000000
"CurrentVersion"="6.3"

[System\\\\CurrentControlSet\\\\Control\\\\ComputerName\\\\ComputerName] $now
"ComputerName"="POSTE-DEMO"
REG
printf 'Soci\xe9t\xe9 du Lac\r\nAtelier Martin\r\n' > "$dir/drive_c/Kelvaro/multiste.txt"
echo "$dir"

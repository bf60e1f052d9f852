#!/usr/bin/env bash
# Gives the companies of the demo prefix PREFIX their databases: "Société du
# Lac" and "Atelier Martin" get one each under C:\Kelvaro\Data, named in the
# registry as local paths (so the client opens them with its embedded
# engine), and a third company, "Nouvelle Société", is added to the company
# file without any database.
#   make-demo-databases.sh PREFIX
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
prefix=${1:?usage: make-demo-databases.sh PREFIX}
data="$prefix/drive_c/Kelvaro/Data"
mkdir -p "$data"
chown firebird:firebird "$data"
chmod 2775 "$data"
"$here/firebird/create-database.sh" "$data/lac.fdb" >/dev/null
"$here/firebird/create-database.sh" "$data/martin.fdb" >/dev/null
now=$(date +%s)
cat >> "$prefix/system.reg" <<REG

[Software\\\\KELVARO S.A.\\\\Torvida\\\\Atelier Martin] $now
"DatabaseName"="C:\\\\Kelvaro\\\\Data\\\\martin.fdb"

[Software\\\\KELVARO S.A.\\\\Torvida\\\\Soci\\xe9t\\xe9 du Lac] $now
"DatabaseName"="C:\\\\Kelvaro\\\\Data\\\\lac.fdb"
REG
printf 'Nouvelle Soci\xe9t\xe9\r\n' >> "$prefix/drive_c/Kelvaro/multiste.txt"

#!/usr/bin/env bash
# Creates a company database with company_db.sql:
#   create-database.sh FILE [IDENTIFIER [VERSION]]
# FILE is a host path in a folder the firebird user may write (owner
# firebird:firebird, mode 2775). With a server listening on 127.0.0.1:3050 the
# database is created through it, otherwise embedded as the firebird user; in
# both cases the owner is KELVARO. IDENTIFIER and VERSION (default WK_Torvida
# and 2) go into rows 2 and 3 of ConnectionControl.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"

file=${1:?usage: create-database.sh FILE [IDENTIFIER [VERSION]]}
identifier=${2:-WK_Torvida}
version=${3:-2}
target=$file
if fb_port_open; then target="127.0.0.1:$file"; fi

sql=$(mktemp /tmp/kelvaro-createdb.XXXXXX.sql)
trap 'rm -f "$sql"' EXIT
cat >"$sql" <<SQL
SET SQL DIALECT 3;
CREATE DATABASE '$target' USER '$KELVARO_DB_USER' PASSWORD '$KELVARO_DB_PASSWORD'
  PAGE_SIZE 4096 DEFAULT CHARACTER SET ISO8859_1;
INPUT '$here/company_db.sql';
UPDATE ConnectionControl SET sval = '$identifier' WHERE id = 2;
UPDATE ConnectionControl SET sval = '$version' WHERE id = 3;
COMMIT;
SQL
chmod 644 "$sql"
as_firebird isql-fb -q -b -i "$sql" </dev/null

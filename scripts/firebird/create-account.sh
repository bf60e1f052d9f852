#!/usr/bin/env bash
# Creates (or resets) the account KELVARO / 83527146 with the right to create
# databases. Must run while no server holds the security database: it opens
# it embedded, as the firebird user. Idempotent.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"

if fb_port_open; then
  echo "create-account: a server runs on port $FB_PORT; stop it first" >&2
  exit 1
fi
sql=$(mktemp /tmp/kelvaro-account.XXXXXX.sql)
trap 'rm -f "$sql"' EXIT
cat >"$sql" <<SQL
CREATE OR ALTER USER $KELVARO_DB_USER PASSWORD '$KELVARO_DB_PASSWORD';
GRANT CREATE DATABASE TO USER $KELVARO_DB_USER;
COMMIT;
SQL
chmod 644 "$sql"
as_firebird isql-fb -q -b -user SYSDBA -i "$sql" "$FB_SECURITY_DB" </dev/null

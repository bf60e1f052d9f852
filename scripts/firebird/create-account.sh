#!/usr/bin/env bash
# Creates (or resets) the account KELVARO / 83527146 with the right to create
# databases. Idempotent.
#
# With no server running (the normal case: the test command calls this before
# starting its server) the security database is opened embedded, as the
# firebird user. When a server already listens (one this script did not
# start), it holds the security database locked; the same statements then go
# through that server, as SYSDBA with the password Debian's package keeps in
# /etc/firebird/3.0/SYSDBA.password, from a scratch database that is removed
# afterwards.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"

work=$(mktemp -d /tmp/kelvaro-account.XXXXXX)
trap 'rm -rf "$work"' EXIT
chown firebird:firebird "$work"
chmod 2775 "$work"
statements="CREATE OR ALTER USER $KELVARO_DB_USER PASSWORD '$KELVARO_DB_PASSWORD';
GRANT CREATE DATABASE TO USER $KELVARO_DB_USER;
COMMIT;"

if ! fb_port_open; then
  printf '%s\n' "$statements" >"$work/account.sql"
  chmod 644 "$work/account.sql"
  as_firebird isql-fb -q -b -user SYSDBA -i "$work/account.sql" "$FB_SECURITY_DB" </dev/null
  exit 0
fi

password_file=/etc/firebird/3.0/SYSDBA.password
if [ ! -r "$password_file" ]; then
  echo "create-account: a server runs and $password_file is not readable" >&2
  exit 1
fi
# shellcheck source=/dev/null
ISC_PASSWORD=$(. "$password_file"; printf '%s' "$ISC_PASSWORD")
{
  echo "CREATE DATABASE '127.0.0.1:$work/scratch.fdb' USER 'SYSDBA' PASSWORD '$ISC_PASSWORD';"
  printf '%s\n' "$statements"
  echo "DROP DATABASE;"
} >"$work/account.sql"
chmod 600 "$work/account.sql"
isql-fb -q -b -i "$work/account.sql" </dev/null

#!/usr/bin/env bash
# Starts the Firebird server in the background on 127.0.0.1:3050 without
# systemd, after making sure the account KELVARO exists.
#
# Prints the server's pid on standard output when it started one, nothing
# when a server already listened on the port (that server is reused and left
# running: the caller must not stop it). Exit code 1 when the server does not
# come up within 10 s.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"

if fb_port_open; then
  echo "start-server: reusing the server already listening on port $FB_PORT" >&2
  # Make sure the account is there on that server too.
  "$here/create-account.sh" >&2
  exit 0
fi

# The account goes in before the server starts: a running server locks the
# security database against embedded access.
"$here/create-account.sh" >&2

# setpriv itself, not a shell function around it: setpriv execs the server,
# so $! is the server's own pid.
setpriv --reuid=firebird --regid=firebird --init-groups "$FB_SERVER" </dev/null >/dev/null 2>&1 &
pid=$!
for _ in $(seq 1 200); do
  if fb_port_open; then
    echo "$pid"
    exit 0
  fi
  if ! kill -0 "$pid" 2>/dev/null; then break; fi
  sleep 0.05
done
echo "start-server: the server did not come up on port $FB_PORT" >&2
"$here/stop-server.sh" "$pid" || true
exit 1

# Shared settings of the Firebird helper scripts (sourced, not run).
# The account the program uses, and where Debian's Firebird 3.0 keeps things.
KELVARO_DB_USER=KELVARO
KELVARO_DB_PASSWORD=83527146
FB_SECURITY_DB=/var/lib/firebird/3.0/system/security3.fdb
FB_SERVER=/usr/sbin/firebird
FB_PORT=3050

# True when something listens on the Firebird port of this machine.
fb_port_open() {
  ss -ltn "sport = :$FB_PORT" 2>/dev/null | grep -q ":$FB_PORT"
}

# Runs a command as the firebird OS user (the owner of the security database
# and of every database file the server opens).
as_firebird() {
  setpriv --reuid=firebird --regid=firebird --init-groups "$@"
}

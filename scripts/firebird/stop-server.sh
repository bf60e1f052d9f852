#!/usr/bin/env bash
# Stops the server whose pid is given: TERM, up to 5 s of waiting, then KILL.
# The server often ignores TERM after real activity, hence the escalation. A
# process the machine's init has not reaped yet still answers kill -0, so a
# zombie (state Z) counts as stopped.
set -uo pipefail
pid=${1:?usage: stop-server.sh PID}

gone() {
  [ ! -e "/proc/$pid" ] && return 0
  grep -q '^State:[[:space:]]*Z' "/proc/$pid/status" 2>/dev/null
}

gone && exit 0
kill -TERM "$pid" 2>/dev/null || exit 0
for _ in $(seq 1 50); do
  gone && exit 0
  sleep 0.1
done
kill -KILL "$pid" 2>/dev/null || true
for _ in $(seq 1 50); do
  gone && exit 0
  sleep 0.1
done
echo "stop-server: process $pid is still there" >&2
exit 1

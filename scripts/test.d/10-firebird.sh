# Sourced by scripts/test.sh before ctest: the Firebird server for the
# database tests.
#
# Starts Debian's Firebird 3.0 server in the background on 127.0.0.1:3050
# (after creating the account KELVARO), or reuses one that already listens;
# stops it at the end only when it started it. Then requires the database
# tests to run: without a server they fail instead of skipping.
firebird_scripts="$(pwd)/scripts/firebird"
if ! firebird_pid=$("$firebird_scripts/start-server.sh"); then
  echo "10-firebird: the Firebird server could not be started" >&2
  exit 1
fi
if [ -n "$firebird_pid" ]; then
  add_cleanup "\"$firebird_scripts/stop-server.sh\" $firebird_pid"
elif [ -n "${KELVARO_TEST_FRESH_TMP:-}" ]; then
  # A server started outside this run's private /tmp cannot see the
  # databases the tests make there.
  echo "10-firebird: a Firebird server started outside this test run already listens on 127.0.0.1:3050;" \
    "it does not see the run's private /tmp: stop it, then run the tests again" >&2
  exit 1
fi
export KELVARO_REQUIRE_FIREBIRD=1

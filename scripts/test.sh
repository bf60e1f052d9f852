#!/usr/bin/env bash
# Installs what is missing, builds once, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

build=${KELVARO_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2

# Services and hooks the tests need come from scripts/test.d/, in name order
# (the database server, for example); each may register clean-up with the
# shell's EXIT trap through add_cleanup.
cleanups=()
add_cleanup() { cleanups+=("$1"); }
run_cleanups() { for c in "${cleanups[@]}"; do eval "$c" || true; done; }
trap run_cleanups EXIT
if [ -d scripts/test.d ]; then
  for hook in scripts/test.d/*.sh; do
    [ -e "$hook" ] || continue
    # shellcheck source=/dev/null
    source "$hook"
  done
fi

export WINEDEBUG=-all
cd "$build"
ctest --output-on-failure -j2 --timeout 600

# Sourced by the cross-check scripts: the Wine prefix both implementations
# share. prepare_crosscheck_prefix PREFIX makes $prefix the absolute path of
# PREFIX, refuses the user's own ~/.wine, points Wine at the prefix quietly
# (its server's folder beside it), ends a server an earlier run kept alive
# (it would only be waited for) and makes the prefix when it does not exist
# yet.
# shellcheck shell=bash

prepare_crosscheck_prefix() {
  prefix=$1
  case "$prefix" in /*) ;; *) prefix="$PWD/$prefix" ;; esac
  if [ "$prefix" = "${HOME:-}/.wine" ]; then
    echo "refusing to use $prefix" >&2
    exit 2
  fi
  # Wine's server keeps its folder in $TMPDIR: the prefix's own, beside it.
  export WINEPREFIX="$prefix" WINEDEBUG=-all LANG=C.UTF-8 TMPDIR="$prefix.tmp"
  mkdir -p "$TMPDIR"
  wineserver -k 2>/dev/null || true
  "$(dirname "${BASH_SOURCE[0]}")/make_wine_prefix.sh" "$prefix"
}

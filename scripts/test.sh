#!/usr/bin/env bash
# Installs what is missing, builds once, and runs every test.
#
# Everything after the install runs as a fresh machine would see it: in a
# mount namespace of its own with an empty tmpfs on /tmp and a new HOME inside
# it, the services the tests need (the database server) started in there
# too. A test that passes only because this machine holds something in
# /tmp or the home folder (a folder Wine left, a cache, a configuration) then
# fails here as it would on a new machine, and nothing the tests leave reaches
# the real /tmp. The compiler cache stays the real one: it only makes builds
# faster.
set -euo pipefail
cd "$(dirname "$0")/.."

# The compiler cache serves every clone of the project alike: paths under
# the project's folder are hashed relative to it, and the working folder not
# at all, so a fresh clone in another folder (CI's) reuses what an earlier
# build compiled.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true

if [ -z "${KELVARO_TEST_FRESH_TMP:-}" ]; then
  scripts/install-deps.sh all
  ccache_dir=$(ccache --get-config cache_dir 2>/dev/null || true)
  exec unshare --mount --propagation private -- \
    env KELVARO_TEST_FRESH_TMP=1 ${ccache_dir:+CCACHE_DIR="$ccache_dir"} scripts/test.sh "$@"
fi
mount -t tmpfs -o mode=1777 kelvaro-test-tmp /tmp
export HOME=/tmp/home XDG_RUNTIME_DIR=/tmp/runtime
mkdir -m 700 "$HOME" "$XDG_RUNTIME_DIR"
unset TMPDIR XDG_CONFIG_HOME XDG_CACHE_HOME XDG_DATA_HOME

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

# The Windows build of the platform layer: only its conformance targets, run
# by CTest under Wine in one prefix of the build folder, made once and reused.
cd "$OLDPWD"
winbuild="${build}-win"
cmake -S . -B "$winbuild" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$winbuild" -j2 --target platform_conformance platform_win32_tests registry_tree file_probe file_holder
winbuild=$(cd "$winbuild" && pwd)
tests/platform/wine/make_wine_prefix.sh "$winbuild/wine-prefix"
export WINEPREFIX="$winbuild/wine-prefix" WINEDEBUG=-all TMPDIR="$winbuild/wine-prefix.tmp"
add_cleanup "WINEPREFIX='$WINEPREFIX' TMPDIR='$TMPDIR' wineserver -k"
(cd "$winbuild" && ctest --output-on-failure -j2 --timeout 600)
# A registry tree written by each implementation reads back through the other.
tests/platform/wine/registry_crosscheck.sh "$build/tests/platform/registry_tree" \
  "$winbuild/tests/platform/registry_tree.exe" "$WINEPREFIX"
# A file a Windows program holds open is in use to both implementations.
tests/platform/wine/files_in_use_crosscheck.sh "$build/tests/platform/file_probe" \
  "$winbuild/tests/platform/file_probe.exe" "$winbuild/tests/platform/win32/file_holder.exe" "$WINEPREFIX"
wineserver -k || true

unset WINEPREFIX TMPDIR

# The whole project again with clang, AddressSanitizer and UndefinedBehavior
# Sanitizer, in one build folder: the complete test suite runs on it with the
# same services (any sanitizer report fails it), then the readers of outside
# data are fuzzed for a minute each on their seed corpora.
KELVARO_FUZZ_BUILD_DIR="$(realpath -m "$build")-fuzz" scripts/fuzz.sh --all-tests 60

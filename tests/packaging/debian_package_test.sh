#!/usr/bin/env bash
# Makes the Debian package from the build BUILD (cpack installs the built
# programs and strips them: nothing is compiled again), checks its fields and
# lintian's verdict, unpacks it into a fresh root and runs what it installed:
# the programs, a manual page, and the debugging symbols found by build id.
# Usage: debian_package_test.sh BUILD VERSION
set -euo pipefail

build=${1:?usage: debian_package_test.sh BUILD VERSION}
version=${2:?usage: debian_package_test.sh BUILD VERSION}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  echo "FAIL: cpack could not make the package" >&2
  exit 1
fi
arch=$(dpkg --print-architecture)
deb="$work/out/kelvaro_${version}_${arch}.deb"
ddeb="$work/out/kelvaro-dbgsym_${version}_${arch}.ddeb"
[ -f "$deb" ] || { echo "FAIL: no $(basename "$deb") among:" $(ls "$work/out") >&2; exit 1; }

echo "== Fields"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "Version is $(dpkg-deb -f "$deb" Version), not $version"
[ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "no Maintainer"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
# What dpkg-shlibdeps finds in the programs, and what they load at run time.
for needed in libc6 libqt6core6 libqt6widgets6 zlib1g libfbclient2 qt6-translations-l10n qt6-qpa-plugins; do
  grep -Eq "(^|, )$needed( |,|$)" <<<"$depends" || fail "Depends does not name $needed"
done

echo "== lintian"
command -v lintian >/dev/null || { echo "FAIL: lintian is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
lintian --fail-on error "$deb" || fail "lintian reports errors"

echo "== Installed into a root of its own"
root="$work/root"
dpkg -x "$deb" "$root"
programs=(kelvaro-update kelvaro-update-batch kelvaro-inspect kelvaro-pack)
for program in "${programs[@]}"; do
  exe="$root/usr/bin/$program"
  [ -x "$exe" ] || { fail "$program is not installed"; continue; }
  LC_ALL=C file -b "$exe" | grep -q ', stripped' || fail "$program is not stripped"
done

# run CODE TEXT PROGRAM ARGS...: the installed PROGRAM exits with CODE and
# shows TEXT.
run() {
  local expected_code=$1 expected=$2 program=$3
  shift 3
  local out code=0
  out=$("$root/usr/bin/$program" "$@" 2>&1) || code=$?
  echo "\$ $program $* -> $code"
  echo "$out" | head -5
  [ "$code" = "$expected_code" ] || fail "$program $* exits with $code, not $expected_code"
  grep -q -- "$expected" <<<"$out" || fail "$program $* does not show \"$expected\""
}
run 64 "usage: kelvaro-update-batch" kelvaro-update-batch
run 0 "kelvaro-update-batch" kelvaro-update-batch --version
run 0 "reg query KEY" kelvaro-inspect --help

# The roll-out playbook and role, when the project holds them.
if [ -d "$(dirname "$0")/../../deploy/ansible" ] && [ ! -f "$root/usr/share/kelvaro/ansible/rollout.yml" ]; then
  fail "the Ansible playbook is not under /usr/share/kelvaro/ansible"
fi

for program in "${programs[@]}"; do
  page="$root/usr/share/man/man1/$program.1.gz"
  [ -f "$page" ] || { fail "no manual page for $program"; continue; }
  text=$(MANWIDTH=80 man -l "$page" 2>&1)
  # The variable is documented in its own section, not merely named.
  sed -n '/^ENVIRONMENT/,/^[A-Z]/p' <<<"$text" | grep -q WINEPREFIX ||
    fail "the manual page of $program has no WINEPREFIX under ENVIRONMENT"
done
MANWIDTH=80 man -l "$root/usr/share/man/man1/kelvaro-update-batch.1.gz" | head -8

echo "== Debugging symbols, found by build id"
if [ -f "$ddeb" ]; then dpkg -x "$ddeb" "$root"; else fail "no $(basename "$ddeb")"; fi
for program in "${programs[@]}"; do
  id=$(LC_ALL=C readelf -n "$root/usr/bin/$program" | sed -n 's/.*Build ID: \([0-9a-f]*\).*/\1/p')
  symbols="$root/usr/lib/debug/.build-id/${id:0:2}/${id:2}.debug"
  if [ -z "$id" ] || [ ! -f "$symbols" ]; then
    fail "no debugging symbols for $program (build id '$id')"
  elif ! LC_ALL=C readelf -S "$symbols" 2>/dev/null | grep -q '\.debug_info'; then
    fail "the symbols of $program hold no debug information"
  fi
done

[ "$failures" = 0 ] || { echo "$failures failure(s)" >&2; exit 1; }
echo "The package installs and runs."

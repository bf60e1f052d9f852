#!/usr/bin/env bash
# Installs the Debian packages the project needs, on a fresh Debian 12
# machine as root. Idempotent: when everything is present it only checks and
# returns in about a second.
#
#   install-deps.sh [demo|all]
#
# `demo` installs what scripts/demo.sh builds and runs: the compiler, the
# libraries, the database server and client, the mingw-w64 C tools the PE
# files are made with, and Xvfb with xdotool for the wizard. `all` (the
# default, scripts/test.sh's) adds everything the tests need on top: the real
# Wine, the Windows C++ cross-compiler, clang for the sanitized and fuzz
# builds, Ansible, lintian and the rest.
set -euo pipefail

set_name=${1:-all}
case "$set_name" in
  demo|all) ;;
  *) echo "usage: install-deps.sh [demo|all]" >&2; exit 64 ;;
esac

demo_packages=(
  # build
  cmake g++ ninja-build ccache pkg-config
  # libraries; GoogleTest and Google Benchmark only for the configure step,
  # which declares the test and benchmark targets the demo does not build
  qt6-base-dev qt6-translations-l10n zlib1g-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  # SHA-256 digests and Ed25519 signatures of packed updates
  libsodium-dev
  # database: client headers and library, server and tools (isql makes the
  # demo's company databases, the server package brings the embedded engine)
  firebird3.0-server firebird-dev libfbclient2 firebird3.0-utils
  # the PE files the demo installs and carries: windres, the C compiler and
  # ld for x86-64, ld for i686 (PE32)
  gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
  # headless runs of the wizard and its screenshots
  python3 xvfb xdotool x11-apps
  # the wizard loads the font configuration early; fc-cache keeps the font
  # cache current
  fontconfig libfontconfig-dev
)

test_packages=(
  # the Debian package: cpack asks dpkg-shlibdeps and file for the programs'
  # dependencies; lintian checks the package and the package test reads a
  # manual page from it with man
  dpkg-dev file lintian man-db
  # the real Wine, for interoperability tests; the mingw-w64 C++ compiler for
  # the Windows build of the platform layer
  wine wine64 g++-mingw-w64-x86-64-posix
  # fuzzing with sanitizers
  clang libclang-rt-14-dev
  # independent PE reader for cross-checks
  python3-pefile
  # tests that need the host's tools (unshare gives the test run its own /tmp)
  iproute2 procps util-linux
  # reading back the text of printed PDF files
  poppler-utils
  # the fleet roll-out playbook under deploy/ansible/, run for real by its test;
  # the role's apt module (it installs the kelvaro package) needs python3-apt,
  # which ansible does not pull in, and would otherwise install it by itself
  ansible python3-apt
  # the roll-out over SSH, as administrators run it: the test starts an sshd
  # of its own on 127.0.0.1 (the package's own service is not used)
  openssh-server
)

packages=("${demo_packages[@]}")
if [ "$set_name" = all ]; then
  packages+=("${test_packages[@]}")
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

# Programs read the system's font cache instead of scanning every font file
# on their first text; fc-cache returns at once when the cache is current.
build_font_cache() {
  if command -v fc-cache >/dev/null; then fc-cache; fi
}

if [ ${#missing[@]} -eq 0 ]; then
  build_font_cache
  exit 0
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y --no-install-recommends "${missing[@]}"
build_font_cache

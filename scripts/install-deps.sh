#!/usr/bin/env bash
# Installs every Debian package the project needs, on a fresh Debian 12
# machine as root. Idempotent: when everything is present it only checks and
# returns in about a second.
set -euo pipefail

packages=(
  # build
  cmake g++ ninja-build ccache pkg-config
  # the Debian package: cpack asks dpkg-shlibdeps and file for the programs'
  # dependencies; lintian checks the package and the package test reads a
  # manual page from it with man
  dpkg-dev file lintian man-db
  # libraries
  qt6-base-dev qt6-translations-l10n zlib1g-dev
  # SHA-256 digests and Ed25519 signatures of packed updates
  libsodium-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  # database: client headers and library, server and tools for tests and demo
  firebird3.0-server firebird-dev libfbclient2 firebird3.0-utils
  # the real Wine, for interoperability tests; mingw-w64 for the Windows build
  wine wine64 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  # 32-bit (PE32) fixtures: windres and ld for i686
  binutils-mingw-w64-i686
  # fuzzing with sanitizers
  clang libclang-rt-14-dev
  # independent PE reader for cross-checks
  python3 python3-pefile
  # headless runs of the wizard
  xvfb xdotool x11-apps
  # tests that need the host's tools
  iproute2 procps util-linux
  # reading back the text of printed PDF files
  poppler-utils
  # the fleet roll-out playbook under deploy/ansible/, run for real by its test;
  # the role's apt module (it installs the kelvaro package) needs python3-apt,
  # which ansible does not pull in, and would otherwise install it by itself
  ansible python3-apt
  # the wizard loads the font configuration early; fc-cache keeps the font
  # cache current
  fontconfig libfontconfig-dev
)

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

#!/usr/bin/env bash
# The main job: installs what is missing, builds, creates a demo prefix and
# shows what the updater sees in it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
build=${KELVARO_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2

prefix=$(scripts/make-demo-prefix.sh "$PWD/demo/prefix")
export WINEPREFIX=$prefix
echo "== Workstation seen through the prefix $WINEPREFIX"
"$build/tools/inspect/kelvaro-inspect"
echo
echo "== Registered program of the address manager"
"$build/tools/inspect/kelvaro-inspect" reg query 'HKCU\Software\KELVARO S.A.\Torvida\Program'

#!/usr/bin/env bash
# The main job: installs what is missing, builds, creates a demo prefix and
# shows what the updater sees in it, then updates the address manager in it:
# an older library installed, three companies (two with a database on the
# embedded engine), an update packed with a newer library, its companions
# and six print lists, run by the wizard (under Xvfb, driven with xdotool,
# when there is no display) and by kelvaro-update-batch on a copy.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh demo
# The compiler cache as scripts/test.sh keys it: either command's build
# serves the other's, in any clone.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true
build=${KELVARO_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# Only what the demo runs (the tests, benchmarks and fuzz targets are
# scripts/test.sh's): the tools, the wizard with its stripped copy beside the
# packer, and the PE files the demo installs and carries.
cmake --build "$build" -j2 --target kelvaro-inspect kelvaro-pack kelvaro-update kelvaro-update-batch kelvaro_pe_fixtures

prefix=$(scripts/make-demo-prefix.sh "$PWD/demo/prefix")
export WINEPREFIX=$prefix
echo "== Workstation seen through the prefix $WINEPREFIX"
"$build/tools/inspect/kelvaro-inspect"
echo
echo "== Registered program of the address manager"
"$build/tools/inspect/kelvaro-inspect" reg query 'HKCU\Software\KELVARO S.A.\Torvida\Program'

echo
echo "== The update: newer library, companions, six print lists"
pe="$build/pe-fixtures"
cp "$pe/torvida_1_2_3_9.dll" "$prefix/drive_c/WKelvaro/Torvida/Programs/WKTorvida2.dll"
scripts/make-demo-databases.sh "$prefix"
content=$(scripts/make-demo-update.sh "$PWD/demo/update" "$pe/torvida_2_0_0_0.dll")
rm -rf "$PWD/demo/prefix-batch"
cp -a "$prefix" "$PWD/demo/prefix-batch"
# Without --base the packer takes the stripped wizard beside it.
"$build/tools/pack/kelvaro-pack" -o "$PWD/demo/MajTorvida" "$content"/*
echo "MajTorvida: $(stat -c %s "$PWD/demo/MajTorvida") bytes"
"$build/tools/pack/kelvaro-pack" --list "$PWD/demo/MajTorvida"
"$build/tools/inspect/kelvaro-inspect" | grep '^Database' || true

echo
echo "== The wizard (screenshots in demo/screens)"
scripts/demo-wizard.sh "$PWD/demo/MajTorvida" "$PWD/demo/screens" || echo "(the wizard could not be driven here)"

echo
echo "== The same update run by kelvaro-update-batch on a copy of the prefix"
WINEPREFIX="$PWD/demo/prefix-batch" "$build/tools/batch/kelvaro-update-batch" "$PWD/demo/MajTorvida" || true

#!/usr/bin/env bash
# Builds every libFuzzer target (clang, sanitizers) and runs each for a while
# on a scratch copy of its seed corpus; fails on the first crash.
#
#   scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 20)
#
# Target fuzz_<name> is built from fuzz/<name>_fuzz.cpp, seeded from
# fuzz/corpus/<name>/ and given fuzz/<name>.dict when that file exists. The
# committed corpus is never written to; inputs that crash are kept in the
# build folder (build-fuzz/crashes/<name>/).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-20}
build=${KELVARO_FUZZ_BUILD_DIR:-$PWD/build-fuzz}

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKELVARO_FUZZ=ON >/dev/null
targets=()
for source in fuzz/*_fuzz.cpp; do
  [ -e "$source" ] || continue
  name=$(basename "$source" _fuzz.cpp)
  targets+=("$name")
done
if [ ${#targets[@]} -eq 0 ]; then
  echo "no fuzz targets" >&2
  exit 1
fi
cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
status=0
for name in "${targets[@]}"; do
  corpus="$scratch/$name"
  mkdir -p "$corpus" "$build/crashes/$name"
  if [ -d "fuzz/corpus/$name" ]; then cp -r "fuzz/corpus/$name/." "$corpus/"; fi
  options=(-max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$build/crashes/$name/")
  if [ -f "fuzz/$name.dict" ]; then options+=(-dict="fuzz/$name.dict"); fi
  echo "== fuzz_$name: $seconds s"
  if ! "$build/fuzz/fuzz_$name" "${options[@]}" "$corpus"; then
    echo "fuzz_$name FAILED: see $build/crashes/$name/" >&2
    status=1
  fi
done
exit $status

#!/usr/bin/env bash
# Builds every libFuzzer target (clang, sanitizers) and runs each for a while
# on a scratch copy of its seed corpus; fails on the first crash.
#
#   scripts/fuzz.sh [--all-tests] [SECONDS_PER_TARGET]   (default 20)
#
# The fuzz build compiles the whole project with AddressSanitizer and
# UndefinedBehaviorSanitizer. With --all-tests it also builds every other
# target there and runs the complete CTest suite on it before fuzzing, so one
# sanitized build serves both (services such as the database server must
# already run, as scripts/test.sh arranges).
#
# Target fuzz_<name> is built from fuzz/<name>_fuzz.cpp, seeded from
# fuzz/corpus/<name>/ and given fuzz/<name>.dict when that file exists. The
# committed corpus is never written to; inputs that crash are kept in the
# build folder (build-fuzz/crashes/<name>/).
set -euo pipefail
cd "$(dirname "$0")/.."

all_tests=0
if [ "${1:-}" = --all-tests ]; then
  all_tests=1
  shift
fi
seconds=${1:-20}
build=${KELVARO_FUZZ_BUILD_DIR:-$PWD/build-fuzz}

# What a sanitizer finds fails the process that found it: UndefinedBehavior
# Sanitizer stops at the first report (the build also says so), leaks end
# AddressSanitizer's runs with an error, and leaks inside outside libraries
# are suppressed one by one in scripts/sanitizers/lsan.supp. LeakSanitizer
# does not scan thread-local storage (use_tls=0): with this clang and glibc its
# walk over the thread-local blocks of libraries loaded at run time (the
# Firebird client) crashes the leak check itself.
sanitizers="$PWD/scripts/sanitizers"
export ASAN_OPTIONS="detect_leaks=1:check_initialization_order=1:strict_init_order=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="use_tls=0:suppressions=$sanitizers/lsan.supp:print_suppressions=0"

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

# The complete CTest suite on the sanitized build. Every report goes to a file
# of the build folder: the programs the tests start (kelvaro-pack,
# kelvaro-update-batch, ...) report there too, even when the test expected
# them to fail anyway, and any report fails the run.
run_suite() {
  local reports="$build/sanitizer-reports"
  rm -rf "$reports"
  mkdir -p "$reports"
  local status=0
  (
    cd "$build"
    ASAN_OPTIONS="$ASAN_OPTIONS:log_path=$reports/report" \
      UBSAN_OPTIONS="$UBSAN_OPTIONS:log_path=$reports/report" \
      ctest --output-on-failure -j2 --timeout 900
  ) || status=1
  if [ -n "$(ls -A "$reports")" ]; then
    for report in "$reports"/*; do
      echo "== sanitizer report $report"
      cat "$report"
    done
    echo "sanitized test suite: the sanitizers reported faults (above)" >&2
    status=1
  fi
  return $status
}

if [ $all_tests -eq 1 ]; then
  cmake --build "$build" -j2
  run_suite
else
  cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}"
fi

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

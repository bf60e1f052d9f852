#!/usr/bin/env bash
# Reading about 1 MB of release notes with the RTF reader as it is, beside
# the reader of an earlier commit (by default the one before it learnt what
# other word processors write: hidden text, capitals, inner tables, notes,
# Symbol characters). The benchmark bench/rtf_reader_bench.cpp is linked
# twice, once with each reader, both compiled here with the flags the build
# compiles the reader with; the two run alternately, each round starting with
# the other one, and the medians of their processor times are set side by
# side. A ratio above the ceiling (the reader now at most 1.1 times the
# earlier one's time) fails the run.
#
#   bench/rtf_reader_against_baseline.sh [BUILD_DIR] [ROUNDS]
#
# BUILD_DIR is a configured native build (default: build); ROUNDS the runs of
# each reader (default: 15). BASELINE names the earlier commit
# (default: c4f5198^) and CEILING the ratio allowed (default: 1.1).
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
rounds=${2:-15}
baseline=${BASELINE:-c4f5198^}
ceiling=${CEILING:-1.1}

# The benchmark's own object and the libraries the reader needs.
cmake --build "$build" --target bench_rtf_reader >/dev/null

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Only the reader is swapped: the tables, pictures and code pages it calls
# are the build's, so their files must be those the earlier reader knew.
if ! git diff --quiet "$baseline" -- src/richtext/ ':!src/richtext/rtf_reader.*'; then
  echo "src/richtext/ changed beside the reader since $baseline: the earlier reader cannot be linked with it" >&2
  exit 1
fi
# The earlier reader's folder as it was, so its own header goes with it.
mkdir -p "$scratch/baseline_reader/src/richtext"
for file in $(git ls-tree --name-only "$baseline" src/richtext/); do
  git show "$baseline:$file" >"$scratch/baseline_reader/$file"
done

# The build's command for the reader, without its source and object.
mapfile -t compile < <(python3 - "$build/compile_commands.json" <<'PY'
import json, shlex, sys
for entry in json.load(open(sys.argv[1])):
    if entry["file"].endswith("/src/richtext/rtf_reader.cpp"):
        args = shlex.split(entry["command"])
        out = []
        skip = False
        for a in args:
            if skip:
                skip = False
            elif a in ("-o", "-c"):
                skip = True
            else:
                out.append(a)
        print("\n".join(out))
        break
PY
)
[ ${#compile[@]} -gt 0 ] || { echo "no compile command for the reader in $build" >&2; exit 1; }

bench_object="$build/bench/CMakeFiles/bench_rtf_reader.dir/rtf_reader_bench.cpp.o"
libraries=("$build/src/richtext/libkelvaro_richtext.a" "$build/src/support/libkelvaro_support.a"
           "$build/src/platform/libkelvaro_platform.a" -lbenchmark -lQt6Gui -lQt6Core -lpthread)
# The reader's object comes before the library that holds the other one, so
# the linker takes it and leaves the library's.
link() {
  local name=$1 source=$2
  shift 2
  (cd "$build" && "${compile[0]}" "$@" "${compile[@]:1}" -c "$source" -o "$scratch/$name.o")
  "${compile[0]}" -O2 "$bench_object" "$scratch/$name.o" "${libraries[@]}" -o "$scratch/$name"
}
link baseline "$scratch/baseline_reader/src/richtext/rtf_reader.cpp" -I"$scratch/baseline_reader/src"
link current "$PWD/src/richtext/rtf_reader.cpp"

results="$scratch/results.csv"
for ((round = 1; round <= rounds; ++round)); do
  order=(baseline current)
  ((round % 2)) || order=(current baseline)
  for name in "${order[@]}"; do
    "$scratch/$name" --benchmark_format=csv 2>/dev/null | sed -n "s/^\"\\(BM_[A-Za-z]*\\)\",/$name,\\1,/p" >>"$results"
  done
done

python3 - "$results" "$ceiling" "$baseline" <<'PY'
import csv, statistics, sys
results, ceiling, baseline = sys.argv[1], float(sys.argv[2]), sys.argv[3]
times = {}
for row in csv.reader(open(results)):
    name, bench, cpu_ms = row[0], row[1], float(row[4])  # iterations, real time, processor time
    times.setdefault(bench, {}).setdefault(name, []).append(cpu_ms)
worst = 0
print(f"processor time per 1 MB document, medians of {len(next(iter(times.values()))['current'])} "
      f"alternating runs (reader at {baseline} against now):")
for bench, runs in times.items():
    before, now = statistics.median(runs["baseline"]), statistics.median(runs["current"])
    ratio = now / before
    worst = max(worst, ratio)
    print(f"  {bench:26} {before:8.1f} ms -> {now:8.1f} ms   ratio {ratio:.3f}")
print(f"worst ratio {worst:.3f}, ceiling {ceiling}: {'within' if worst <= ceiling else 'ABOVE'}")
sys.exit(0 if worst <= ceiling else 1)
PY

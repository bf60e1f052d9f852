// Reading the registry of a prefix whose system.reg is 5 MB: loading (read
// and parse) against reading the file's bytes, and a value read through an
// open key against a lookup in an in-memory hash map of the same data. Then
// whole fresh processes of the inspection tool reading one value, on a tiny
// prefix, one of a new Wine prefix's size and one with 5 MB of keys, taking
// turns with key_line_reader (key_line_reader.cpp), which only maps the file
// and finds its key lines. Prints every ratio with its ceiling at the end.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "fixtures/temp_prefix.h"
#include "child_process.h"
#include "generated_prefix.h"
#include "median.h"
#include "platform/prefix/registry_store.h"
#include "platform/registry.h"

namespace {

using namespace platform;

struct Data {
  fixtures::TempPrefix prefix;
  std::string path;
  size_t bytes = 0;
  // The same keys and values as plain maps: key path -> value name -> value.
  std::unordered_map<String, std::unordered_map<String, RegistryValue>> maps;
  std::vector<std::pair<String, String>> probes;  // (key, value name) to read
};

String Ascii(const std::string& s) { return String(s.begin(), s.end()); }

// A system.reg shaped like Wine's: class registrations with a few values
// each, some binary data, accented names here and there.
// Made once, removed with its prefix when the program ends.
Data& TheData() {
  static const std::unique_ptr<Data> data = [] {
    auto d = std::make_unique<Data>();
    d->path = d->prefix.root() + "/system.reg";
    std::string text = bench::kSystemRegHeader;
    for (unsigned i = 0; text.size() < (5u << 20); ++i) {
      const std::string key = bench::AppendClassKey(&text, i);
      auto& values = d->maps[Ascii(key)];
      values[u""] = {kRegSz, RegistryStringData(Ascii("C:\\windows\\system32\\comp" + std::to_string(i) + ".dll"))};
      values[u"Caf\u00e9 " + Ascii(std::to_string(i % 10))] = {kRegSz, RegistryStringData(u"Soci\u00e9t\u00e9 g\u00e9n\u00e9rale")};
      values[u"Flags"] = {kRegDword, RegistryDwordData(i)};
      values[u"Data"] = {kRegBinary, std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f\x10\x11\x12\x13\x14\x15\x16\x17\x18\x19\x1a", 26)};
      values[u"ThreadingModel"] = {kRegSz, RegistryStringData(u"Both")};
      if (i % 97 == 0) {
        for (const char16_t* name : {u"", u"Flags", u"ThreadingModel", u"Data"}) d->probes.emplace_back(Ascii(key), name);
      }
    }
    std::ofstream(d->path, std::ios::binary) << text;
    d->bytes = text.size();
    return d;
  }();
  return *data;
}

void BM_ReadFileBytes(benchmark::State& state) {
  Data& d = TheData();
  for (auto _ : state) {
    int fd = open(d.path.c_str(), O_RDONLY | O_CLOEXEC);
    std::string bytes(d.bytes, '\0');
    size_t used = 0;
    for (ssize_t n; (n = read(fd, bytes.data() + used, bytes.size() - used)) > 0;) used += size_t(n);
    close(fd);
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(d.bytes));
}

void BM_LoadRegistry(benchmark::State& state) {
  Data& d = TheData();
  for (auto _ : state) {
    prefix::RegistryStore store(d.prefix.root(), "system.reg", "");
    prefix::RegistryDocument* document = nullptr;
    if (store.Current(true, &document) != kErrorSuccess) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(document);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(d.bytes));
}

void BM_QueryValue(benchmark::State& state) {
  Data& d = TheData();
  std::map<String, RegistryKey> keys;
  for (const auto& [path, name] : d.probes) {
    if (keys.count(path)) continue;
    if (RegOpenKey(RegistryRoot::LocalMachine, path, kKeyRead, &keys[path]) != kErrorSuccess) {
      state.SkipWithError("open failed");
      return;
    }
  }
  std::vector<std::pair<const RegistryKey*, const String*>> probes;
  for (const auto& [path, name] : d.probes) probes.emplace_back(&keys[path], &name);
  size_t i = 0;
  RegistryValue value;
  for (auto _ : state) {
    const auto& probe = probes[i++ % probes.size()];
    if (RegQueryValue(*probe.first, *probe.second, &value) != kErrorSuccess) state.SkipWithError("query failed");
    benchmark::DoNotOptimize(value.data.data());
  }
}

void BM_HashMapLookup(benchmark::State& state) {
  Data& d = TheData();
  std::vector<std::pair<const std::unordered_map<String, RegistryValue>*, const String*>> probes;
  for (const auto& [path, name] : d.probes) probes.emplace_back(&d.maps.at(path), &name);
  size_t i = 0;
  RegistryValue value;
  for (auto _ : state) {
    const auto& probe = probes[i++ % probes.size()];
    auto found = probe.first->find(*probe.second);
    if (found == probe.first->end()) state.SkipWithError("lookup failed");
    else value = found->second;
    benchmark::DoNotOptimize(value.data.data());
  }
}

BENCHMARK(BM_ReadFileBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadRegistry)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HashMapLookup);
BENCHMARK(BM_QueryValue);

// Keeps each benchmark's times per iteration so the ratios can be printed.
// Both clocks: on a busy machine the wall clock also counts the waits for a
// processor, the CPU clock only the work.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      // With --benchmark_repetitions the median of the repetitions stands
      // for the benchmark; otherwise its one run does.
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (run.run_type == Run::RT_Aggregate && !median) continue;
      const std::string name = run.run_name.function_name;
      if (!median && medians.count(name)) continue;
      if (median) medians.insert(name);
      wall[name] = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
      cpu[name] = run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
    }
  }
  std::map<std::string, double> wall, cpu;
  std::set<std::string> medians;
};

// False when the ratio is above its ceiling.
bool PrintRatio(RatioReporter& r, const char* what, const char* slow, const char* fast, double ceiling) {
  if (!r.cpu.count(slow) || !r.cpu.count(fast)) return true;  // not run (filtered out)
  const double cpu = r.cpu[slow] / r.cpu[fast];
  const double wall = r.wall[slow] / r.wall[fast];
  std::printf("%s: %.2f on CPU time, %.2f on wall time (ceiling %.0f): %s\n", what, cpu, wall, ceiling,
              cpu <= ceiling ? "within" : "ABOVE the ceiling");
  return cpu <= ceiling;
}


#ifdef KELVARO_INSPECT
// What a user pays at every start: whole fresh processes that read one value
// of a prefix whose system.reg is tiny, the size a fresh Wine prefix has,
// and 5 MB, run in turn so the machine's drift falls on all three alike.
struct FreshPrefix {
  explicit FreshPrefix(const char* n) : name(n), prefix(fixtures::TempPrefix::Use::AsOther) {}
  const char* name;
  fixtures::TempPrefix prefix;
  size_t bytes = 0;
  std::vector<double> ms, faults;
  std::vector<double> keyLinesOnlyMs;  // the reader that only finds the key lines
};

// Runs the inspection tool once on the prefix; false if it failed.
bool RunTool(FreshPrefix* p) {
  const bench::ChildRun run = bench::Run({KELVARO_INSPECT, "reg", "query", "HKLM\\Software\\Wine"},
                                         {"WINEPREFIX=" + p->prefix.root()});
  p->ms.push_back(run.seconds * 1000);
  p->faults.push_back(double(run.minorFaults));
  return run.ok;
}

// Runs the reader that only maps system.reg and finds its key lines.
bool RunKeyLineReader(FreshPrefix* p) {
  const bench::ChildRun run = bench::Run({KEY_LINE_READER}, {"WINEPREFIX=" + p->prefix.root()});
  p->keyLinesOnlyMs.push_back(run.seconds * 1000);
  return run.ok;
}

// False when a run failed or a ratio is above its ceiling.
bool MeasureFreshProcesses(int runs) {
  using bench::Median;
  FreshPrefix sizes[3] = {FreshPrefix("tiny"), FreshPrefix("fresh Wine prefix size"), FreshPrefix("5 MB")};
  sizes[0].bytes = bench::AppendWinebootShapedKeys(sizes[0].prefix.root(), {});
  sizes[1].bytes = bench::AppendWinebootShapedKeys(sizes[1].prefix.root(), bench::kWinebootSizes);
  sizes[2].bytes = bench::AppendWinebootShapedKeys(
      sizes[2].prefix.root(), {5u << 20, bench::kWinebootSizes.user, bench::kWinebootSizes.userdef});
  // The key-line reader goes through the sizes in its own round, as the
  // tool does, so that both meet each file after the same others.
  for (int run = 0; run < runs; ++run) {
    for (bool (*each)(FreshPrefix*) : {RunTool, RunKeyLineReader}) {
      for (FreshPrefix& p : sizes) {
        if (!each(&p)) {
          std::printf("fresh process on the %s prefix failed\n", p.name);
          return false;
        }
      }
    }
  }
  std::printf("\nfresh kelvaro-inspect reg query, medians of %d alternating runs:\n", runs);
  for (FreshPrefix& p : sizes) {
    std::printf("  %-24s system.reg %8zu bytes: %6.1f ms, %6.0f minor page faults; key lines only: %4.2f ms\n", p.name,
                p.bytes, Median(p.ms), Median(p.faults), Median(p.keyLinesOnlyMs));
  }
  const double tinyMs = Median(sizes[0].ms), tinyFaults = Median(sizes[0].faults);
  bool within = true;
  for (int i = 1; i < 3; ++i) {
    const double ratio = Median(sizes[i].ms) / tinyMs;
    const double ceiling = i == 1 ? 1.1 : 1.3;
    const double mb = double(sizes[i].bytes - sizes[0].bytes) / 1048576.0;
    std::printf("%s / tiny: %.2fx (ceiling %.1fx): %s; %.0f extra page faults per MB of registry text\n", sizes[i].name,
                ratio, ceiling, ratio <= ceiling ? "within" : "ABOVE the ceiling",
                (Median(sizes[i].faults) - tinyFaults) / mb);
    // What mapping the file and finding its key lines adds to a fresh
    // process, over the tool's start: what any reader that reads every key
    // line from the file pays.
    const double least = (tinyMs + Median(sizes[i].keyLinesOnlyMs) - Median(sizes[0].keyLinesOnlyMs)) / tinyMs;
    std::printf("  the least any reader that sees every key line adds: %.2fx (mapping the file and finding them)\n",
                least);
    within = within && ratio <= ceiling;
  }
  return within;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  // Ten repetitions of each benchmark in random order, the ratios taken from
  // their medians: on a machine whose speed drifts, a fixed order would
  // weigh the drift on whichever benchmark ran in the slow stretch. Flags
  // given on the command line come after these and win.
  std::vector<char*> args{argv[0]};
  char repetitions[] = "--benchmark_repetitions=10";
  char interleaving[] = "--benchmark_enable_random_interleaving=true";
  char aggregates[] = "--benchmark_report_aggregates_only=true";
  args.insert(args.end(), {repetitions, interleaving, aggregates});
  args.insert(args.end(), argv + 1, argv + argc);
  int count = static_cast<int>(args.size());
  args.push_back(nullptr);
  benchmark::Initialize(&count, args.data());
  TheData();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  char load[96];
  std::snprintf(load, sizeof load, "load / read bytes of a %.1f MB system.reg", TheData().bytes / 1048576.0);
  bool within = PrintRatio(reporter, load, "BM_LoadRegistry", "BM_ReadFileBytes", 4);
  within = PrintRatio(reporter, "value read through an open key / hash map lookup", "BM_QueryValue",
                      "BM_HashMapLookup", 2) && within;
#ifdef KELVARO_INSPECT
  within = MeasureFreshProcesses(60) && within;
#endif
  benchmark::Shutdown();
  return within ? 0 : 1;
}

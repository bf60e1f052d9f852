// Cost of telling whether a file is in use: one pass over every process's
// descriptors and mappings in /proc. A file nobody holds is the worst case
// (every process is looked at), and it is the common one.
#include <benchmark/benchmark.h>
#include <dirent.h>

#include <cctype>
#include <fstream>

#include "fixtures/temp_prefix.h"
#include "platform/files.h"
#include "platform/prefix/in_use.h"

namespace {

int CountProcesses() {
  int count = 0;
  if (DIR* proc = opendir("/proc")) {
    while (const dirent* entry = readdir(proc)) count += std::isdigit(static_cast<unsigned char>(entry->d_name[0])) ? 1 : 0;
    closedir(proc);
  }
  return count;
}

void BM_InUseScanOfAFreeFile(benchmark::State& state) {
  fixtures::TempDir dir;
  const std::string file = dir.path() + "/free.dll";
  std::ofstream(file) << "x";
  for (auto _ : state) benchmark::DoNotOptimize(platform::prefix::IsFileInUse(file));
  state.counters["processes"] = CountProcesses();
}
BENCHMARK(BM_InUseScanOfAFreeFile)->Unit(benchmark::kMillisecond);

// A whole replacement of a small file, scan included.
void BM_CopySmallFileOverAnother(benchmark::State& state) {
  fixtures::TempPrefix prefix;
  prefix.writeFile("C:\\a.dll", std::string(64 * 1024, 'a'));
  prefix.writeFile("C:\\b.dll", "b");
  for (auto _ : state) benchmark::DoNotOptimize(platform::CopyFile(u"C:\\a.dll", u"C:\\b.dll", false));
}
BENCHMARK(BM_CopySmallFileOverAnother)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

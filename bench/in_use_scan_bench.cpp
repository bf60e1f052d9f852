// Cost of telling whether a file is in use. A file nobody holds is the
// common case, answered by the kernel through a lease; the full pass over
// every process's descriptors and mappings in /proc, which settles the other
// cases, is timed beside it on the same free file.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <sys/stat.h>

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

// A file nobody holds, removed with its folder.
struct FreeFile {
  FreeFile() { std::ofstream(path) << "x"; }
  fixtures::TempDir dir;
  const std::string path = dir.path() + "/free.dll";
};

void BM_InUseCheckOfAFreeFile(benchmark::State& state) {
  const FreeFile file;
  for (auto _ : state) benchmark::DoNotOptimize(platform::prefix::IsFileInUse(file.path));
  state.counters["processes"] = CountProcesses();
}
BENCHMARK(BM_InUseCheckOfAFreeFile)->Unit(benchmark::kMicrosecond);

void BM_FullPassOverProcessesForAFreeFile(benchmark::State& state) {
  const FreeFile file;
  struct stat st;
  if (stat(file.path.c_str(), &st) != 0) state.SkipWithError("no file");
  for (auto _ : state) benchmark::DoNotOptimize(platform::prefix::IsHeldByAnotherProcess(st.st_dev, st.st_ino));
  state.counters["processes"] = CountProcesses();
}
BENCHMARK(BM_FullPassOverProcessesForAFreeFile)->Unit(benchmark::kMicrosecond);

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

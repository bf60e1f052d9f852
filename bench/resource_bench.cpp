// Reading carried files: speed against zlib's own uncompress, peak memory of
// extracting a large file, and the bytes a lookup reads.
//
//   bench_resource                 all three, with the floors checked
//   bench_resource --no-large      without the 500 MB extraction
//
// Floors: reading a carried file inflates at >= 0.9x the throughput of
// zlib's uncompress on the same payload in the same run, compared twice:
// ReadResourceFile against uncompress into a fresh block (both hand out a new
// block), and the payload reader against uncompress into one reused block
// (inflation alone); ExtractResourceFile of a 500 MB file peaks
// below 64 MB of resident memory (measured in a child process); reading a
// small file beside a 500 MB one reads only a few kilobytes. The exit code is
// 1 when a floor is missed.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <QFile>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>

#include "engine/payload.h"
#include "engine/resource_file.h"
#include "engine/resource_pack.h"
#include "fixtures/temp_prefix.h"
#include "library_like_bytes.h"
#include "packed_module.h"
#include "platform/module_resources.h"
#include "support/text.h"

namespace {

constexpr platform::FileTime kPacked = 133500000000000000ull;

using bench::libraryLikeBytes;

void writeModule(const std::string& path, const std::map<QString, QByteArray>& payloads) {
  bench::WritePackedModule(path, {payloads.begin(), payloads.end()});
}

struct Inflation {
  fixtures::TempDir dir;
  QByteArray data = libraryLikeBytes(32 << 20, 7);
  QByteArray payload = kelvaro::EncodePayload(data, kPacked);
  Inflation() {
    writeModule(dir.path() + "/update", {{"WKTORVIDA2.DLL", payload}});
    platform::SetResourceModule(kelvaro::toW(QString::fromStdString(dir.path() + "/update")));
  }
};

Inflation& inflation() {
  static Inflation shared;
  return shared;
}

// zlib's own one-call inflate of the whole payload. With a fresh output
// block per call it does what ReadResourceFile must (hand out a new block);
// with one block reused it measures inflation alone.
void uncompressPayload(benchmark::State& state, char* out, size_t size) {
  const QByteArray& payload = inflation().payload;
  uLongf outSize = size;
  if (uncompress(reinterpret_cast<Bytef*>(out), &outSize, reinterpret_cast<const Bytef*>(payload.constData()),
                 static_cast<uLong>(payload.size())) != Z_OK)
    state.SkipWithError("uncompress failed");
  benchmark::DoNotOptimize(out);
}

void BM_ZlibUncompressFreshBlock(benchmark::State& state) {
  const size_t size = static_cast<size_t>(inflation().data.size()) + 16;
  for (auto _ : state) {
    QByteArray out;
    out.resize(static_cast<qsizetype>(size));
    uncompressPayload(state, out.data(), size);
  }
  state.SetBytesProcessed(state.iterations() * inflation().data.size());
}
BENCHMARK(BM_ZlibUncompressFreshBlock)->Unit(benchmark::kMillisecond);

void BM_ReadResourceFile(benchmark::State& state) {
  inflation();
  for (auto _ : state) {
    QByteArray data;
    platform::FileTime time = 0;
    if (!kelvaro::ReadResourceFile("WKTorvida2.dll", &data, &time)) state.SkipWithError("not found");
    benchmark::DoNotOptimize(data.data());
  }
  state.SetBytesProcessed(state.iterations() * inflation().data.size());
}
BENCHMARK(BM_ReadResourceFile)->Unit(benchmark::kMillisecond);

void BM_ZlibUncompressReusedBlock(benchmark::State& state) {
  std::string out(static_cast<size_t>(inflation().data.size()) + 16, '\0');
  for (auto _ : state) uncompressPayload(state, out.data(), out.size());
  state.SetBytesProcessed(state.iterations() * inflation().data.size());
}
BENCHMARK(BM_ZlibUncompressReusedBlock)->Unit(benchmark::kMillisecond);

// The payload reader over the module file (pread in pieces, inflate, checks)
// into one reused block.
void BM_PayloadReaderReusedBlock(benchmark::State& state) {
  std::string out(static_cast<size_t>(inflation().data.size()), '\0');
  for (auto _ : state) {
    const std::unique_ptr<platform::ResourceData> resource = platform::FindDataResource(u"WKTorvida2.dll");
    kelvaro::PayloadReader reader("WKTorvida2.dll", resource.get());
    const kelvaro::PayloadHeader header = reader.readHeader();
    reader.readData(out.data(), header.size);
    reader.finish();
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * inflation().data.size());
}
BENCHMARK(BM_PayloadReaderReusedBlock)->Unit(benchmark::kMillisecond);

// Keeps each benchmark's throughput for the ratio.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const auto found = run.counters.find("bytes_per_second");
      if (found != run.counters.end()) throughput[run.benchmark_name()] = found->second;
    }
  }
  std::map<std::string, double> throughput;
};

uint64_t bytesReadSoFar() {
  std::ifstream io("/proc/self/io");
  std::string key;
  uint64_t value = 0;
  while (io >> key >> value)
    if (key == "rchar:") return value;
  return 0;
}

// The child: extracts one file, then prints its peak resident memory in kB.
// VmHWM belongs to the address space made by exec, so nothing of the parent
// (which holds the benchmark's data) is counted, unlike a fork's ru_maxrss.
int extractInChild(const char* module, const char* name, const char* target) {
  if (!platform::SetResourceModule(kelvaro::toW(QString::fromUtf8(module)))) return 3;
  if (kelvaro::ExtractResourceFile(QString::fromUtf8(name), QString::fromUtf8(target)).isEmpty()) return 4;
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmHWM:", 0) == 0) std::printf("%ld\n", std::strtol(line.c_str() + 6, nullptr, 10));
  return 0;
}

long peakKilobytesOfExtraction(const char* self, const std::string& module, const char* name) {
  const std::string command = std::string("'") + self + "' --extract-child '" + module + "' '" + name + "' 'C:\\" + name + "'";
  FILE* child = popen(command.c_str(), "r");
  long peak = -1;
  if (!child || std::fscanf(child, "%ld", &peak) != 1) peak = -1;
  if (child && pclose(child) != 0) peak = -1;
  return peak;
}

// Writes the large file's bytes to disk in pieces, then packs it.
bool checkLargeFile(const char* self) {
  constexpr qint64 kLarge = 500ll << 20;
  fixtures::TempPrefix prefix;
  const std::string source = prefix.root() + "/Large.bin";
  {
    QFile file(QString::fromStdString(source));
    file.open(QIODevice::WriteOnly);
    // A 16 KiB block repeated with a counter in each copy: level 9 finds its
    // long matches at once, so packing takes seconds, not minutes.
    QByteArray chunk;
    const QByteArray block = libraryLikeBytes(16 << 10, 3);
    for (int copy = 0; copy < 512; ++copy) chunk += QByteArray::number(copy).rightJustified(8, '0') + block.mid(8);
    for (qint64 written = 0; written < kLarge; written += chunk.size()) file.write(chunk.left(kLarge - written));
  }
  const std::string small = prefix.root() + "/Updates.txt";
  std::ofstream(small) << "Torvida\r\n";
  const std::string base = prefix.root() + "/base";
  std::ofstream(base) << "MZ bench base";
  const std::string module = prefix.root() + "/MajTorvida";
  std::printf("packing a %lld MB file...\n", kLarge >> 20);
  kelvaro::PackExecutable(QString::fromStdString(module), QString::fromStdString(base),
                          {QString::fromStdString(source), QString::fromStdString(small)});

  const long small_peak = peakKilobytesOfExtraction(self, module, "Updates.txt");
  const long peak = peakKilobytesOfExtraction(self, module, "Large.bin");
  const bool sameBytes = QFile(QString::fromStdString(prefix.hostPath("C:\\Large.bin"))).size() == kLarge;
  std::printf("ExtractResourceFile peak resident memory: %.1f MB for the %lld MB file (floor: < 64 MB), "
              "%.1f MB for a 9-byte file; size %s\n",
              peak / 1024.0, kLarge >> 20, small_peak / 1024.0, sameBytes ? "right" : "WRONG");

  platform::SetResourceModule(kelvaro::toW(QString::fromStdString(module)));
  const uint64_t before = bytesReadSoFar();
  QByteArray data;
  platform::FileTime time = 0;
  const bool found = kelvaro::ReadResourceFile("Updates.txt", &data, &time);
  const uint64_t read = bytesReadSoFar() - before;
  platform::SetResourceModule(u"");
  std::printf("reading a 9-byte file beside the %lld MB one read %llu bytes of the module (trailer, index, payload)\n",
              kLarge >> 20, static_cast<unsigned long long>(read));
  return peak > 0 && peak < 64 * 1024 && sameBytes && found && read < 64 * 1024;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  if (argc == 5 && std::strcmp(argv[1], "--extract-child") == 0) return extractInChild(argv[2], argv[3], argv[4]);
  bool large = true;
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--no-large") == 0) large = false;

  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  bool ok = true;
  const auto ratio = [&](const char* ours, const char* zlib) {
    const double a = reporter.throughput[ours];
    const double b = reporter.throughput[zlib];
    if (a <= 0 || b <= 0) return;
    std::printf("%s / %s throughput: %.3f (floor: 0.9)\n", ours, zlib, a / b);
    ok = ok && a / b >= 0.9;
  };
  ratio("BM_ReadResourceFile", "BM_ZlibUncompressFreshBlock");
  ratio("BM_PayloadReaderReusedBlock", "BM_ZlibUncompressReusedBlock");
  platform::SetResourceModule(u"");
  if (large) ok = checkLargeFile(argv[0]) && ok;
  std::printf("%s\n", ok ? "all floors met" : "FLOOR MISSED");
  return ok ? 0 : 1;
}

// The check a run makes before it changes anything, against inflating the
// same carried files alone, on an update the size of a real one (the program
// library, its companions, the help file, six print lists and the texts).
//
//   bench_update_check [ROUNDS]        (default 15)
//
// Each round times both sides, taking turns on which goes first, in process
// CPU time (the wall clock on a shared machine also counts waiting for a
// processor). Prints the medians and their ratio against its ceiling of 1.2;
// exit code 1 above it. The older format, whose check is inflating, is timed
// the same way for reference.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <numeric>
#include <optional>
#include <vector>

#include "engine/payload.h"
#include "engine/resource_pack.h"
#include "engine/update_check.h"
#include "fixtures/temp_prefix.h"
#include "library_like_bytes.h"
#include "packed_module.h"
#include "platform/module_resources.h"
#include "support/text.h"

namespace {

constexpr double kCeiling = 1.2;

using bench::libraryLikeBytes;

struct Carried {
  const char* name;
  qsizetype size;
};

// The address manager's update, sizes as shipped.
const Carried kUpdate[] = {
    {"WKTorvida2.dll", 2600 << 10}, {"IBANKernel.dll", 900 << 10}, {"Torvida.chm", 1400 << 10},
    {"ssleay32.dll", 350 << 10},    {"libeay32.dll", 1300 << 10},  {"Updates.txt", 9},
    {"AppInfo1.txt", 40},           {"UpdateInfo.txt", 6 << 10},   {"Adresses.lst", 30 << 10},
    {"Etiquettes.lst", 25 << 10},   {"Courrier.lst", 40 << 10},    {"Fiches.lst", 20 << 10},
    {"Liste.lst", 18 << 10},        {"Enveloppes.lst", 22 << 10},
};

void writeUpdate(const std::string& path, uint32_t version) {
  std::vector<std::pair<QString, QByteArray>> payloads;
  uint32_t seed = 1;
  for (const Carried& c : kUpdate)
    payloads.emplace_back(QString::fromLatin1(c.name), kelvaro::EncodePayload(libraryLikeBytes(c.size, seed++), 0));
  bench::WritePackedModule(path, payloads, version);
}

// Every carried file inflated to its end, nothing else: what reading the
// update costs anyway.
void inflateAll() {
  std::vector<char> scratch(256 * 1024);
  for (const platform::String& name : platform::ListDataResources()) {
    const std::unique_ptr<platform::ResourceData> resource = platform::FindDataResource(name);
    kelvaro::PayloadReader reader(kelvaro::toQ(name), resource.get());
    for (uint64_t left = reader.readHeader().size; left > 0;) {
      const size_t piece = size_t(std::min<uint64_t>(left, scratch.size()));
      reader.readData(scratch.data(), piece);
      left -= piece;
    }
    reader.finish();
  }
}

void check() {
  if (kelvaro::VerifyUpdate(std::nullopt).files.size() != std::size(kUpdate)) std::abort();
}

double cpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Medians of both sides over rounds, the first side first in even rounds.
std::pair<double, double> timeTurns(int rounds, const std::function<void()>& a, const std::function<void()>& b) {
  std::vector<double> times[2];
  const std::function<void()>* sides[2] = {&a, &b};
  for (int round = 0; round < rounds; ++round) {
    for (int turn = 0; turn < 2; ++turn) {
      const int side = (round + turn) % 2;
      const double start = cpuSeconds();
      (*sides[side])();
      times[side].push_back(cpuSeconds() - start);
    }
  }
  return {median(times[0]), median(times[1])};
}

double compare(const char* what, const std::string& update, int rounds) {
  platform::SetResourceModule(kelvaro::toW(QString::fromStdString(update)));
  inflateAll();  // the file in the page cache for both sides
  const auto [checked, inflated] = timeTurns(rounds, check, inflateAll);
  std::printf("%s: check %.1f ms, inflating alone %.1f ms (medians of %d, CPU time): ratio %.2f\n", what, checked * 1e3,
              inflated * 1e3, rounds, checked / inflated);
  return checked / inflated;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  fixtures::TempDir dir;
  const std::string current = dir.path() + "/MajTorvida";
  const std::string older = dir.path() + "/MajTorvidaAncienne";
  writeUpdate(current, platform::prefix::kBlobContainerVersion);
  writeUpdate(older, platform::prefix::kBlobContainerVersionWithoutDigests);
  std::printf("%zu carried files, %.1f MB inflated\n", std::size(kUpdate),
              double(std::accumulate(std::begin(kUpdate), std::end(kUpdate), qsizetype(0),
                                     [](qsizetype sum, const Carried& c) { return sum + c.size; })) /
                  1048576.0);
  const double ratio = compare("with digests", current, rounds);
  compare("older format, for reference", older, rounds);
  platform::SetResourceModule(u"");
  std::printf("check / inflating alone: %.2f (ceiling %.1f): %s\n", ratio, kCeiling,
              ratio <= kCeiling ? "within" : "ABOVE the ceiling");
  return ratio <= kCeiling ? 0 : 1;
}

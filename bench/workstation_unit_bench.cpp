// What undo costs a run when nothing fails: the address manager's update
// with a 40 MB program library run to its end with its unit of changes
// (journal records made durable before each change, replaced files kept
// under a second name, the journal removed at the end) against the same run
// with the journal's writes stubbed out.
//
//   bench_workstation_unit [ROUNDS]        (default 15)
//
// Each round puts the old installation back (not timed) and times one run of
// each kind in wall-clock time (the journal's cost is waiting for the disk),
// taking turns on which goes first. Prints the medians and their ratio
// against its ceiling of 1.05; exit code 1 above it. It also prints the disk
// space the kept files held at their peak, against the size of the files
// the run replaced: a kept file is a second name, never a copy.
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "engine/payload.h"
#include "engine/update_common.h"
#include "engine/update_run.h"
#include "engine/workstation_unit.h"
#include "fixtures/temp_prefix.h"
#include "library_like_bytes.h"
#include "median.h"
#include "packed_module.h"
#include "platform/module_resources.h"
#include "support/change_seam.h"
#include "support/scripted_user.h"
#include "support/text.h"

namespace {

constexpr double kCeiling = 1.05;
const std::string kFolder = "C:\\WKelvaro\\Torvida\\Programs\\";

struct Carried {
  const char* name;
  qsizetype size;
  bool installed;  // an older copy is there before the run
};

const Carried kFiles[] = {
    {"WKTorvida2.dll", 40 << 20, true}, {"IBANKernel.dll", 900 << 10, true}, {"Torvida.chm", 1400 << 10, false},
    {"ssleay32.dll", 350 << 10, true},  {"libeay32.dll", 1300 << 10, true},
};

void writeUpdate(const std::string& path) {
  // Newer than the installed files: the run replaces without asking.
  const platform::FileTime newer = (1800000000ull + platform::kUnixEpochInFileTimeSeconds) * 10000000ull;
  std::vector<std::pair<QString, QByteArray>> payloads;
  uint32_t seed = 1;
  for (const Carried& c : kFiles)
    payloads.emplace_back(QString::fromLatin1(c.name), kelvaro::EncodePayload(bench::libraryLikeBytes(c.size, seed++), newer));
  payloads.emplace_back(QStringLiteral("Updates.txt"), kelvaro::EncodePayload("Torvida\r\n", newer));
  bench::WritePackedModule(path, payloads);
}

// The old installation again: every installed file written anew, nothing
// of a run left.
void installOld(const fixtures::TempPrefix& prefix) {
  std::filesystem::remove_all(prefix.hostPath("C:\\WKelvaro"));
  uint32_t seed = 100;
  for (const Carried& c : kFiles) {
    if (!c.installed) continue;
    const QByteArray bytes = bench::libraryLikeBytes(c.size, seed++);
    prefix.writeFile(kFolder + c.name, bytes.toStdString());
  }
  sync();
}

uint64_t freeBytes(const std::string& path) {
  struct statvfs fs {};
  statvfs(path.c_str(), &fs);
  return uint64_t(fs.f_bavail) * fs.f_frsize;
}

double timedRun(kelvaro::TdmUpdateCommon& engine, bool journal) {
  kelvaro::StubJournalForBenchmarks(!journal);
  QElapsedTimer clock;
  clock.start();
  const kelvaro::RunUpdateOutcome outcome = kelvaro::RunUpdate(engine, {QStringLiteral("Torvida")}, QStringLiteral("Bench"));
  const double seconds = double(clock.nsecsElapsed()) / 1e9;
  kelvaro::StubJournalForBenchmarks(false);
  if (outcome.result != kelvaro::urtOk) {
    std::fprintf(stderr, "the run did not end well (%d)\n", int(outcome.result));
    std::exit(2);
  }
  return seconds;
}

// A door around the unit's that notes the least free disk space seen
// before each change: the kept files' share of it.
class FreeSpaceWatch final : public kelvaro::WorkstationChanges {
 public:
  FreeSpaceWatch(kelvaro::WorkstationChanges* inner, std::string path) : inner_(inner), path_(std::move(path)) {}
  bool WriteFile(const QString& target, const QString& source, const std::function<bool()>& write) override {
    return inner_->WriteFile(target, source, [&] {
      const bool ok = write();
      least_ = std::min(least_, freeBytes(path_));
      return ok;
    });
  }
  bool CreateFolder(const QString& folder) override { return inner_->CreateFolder(folder); }
  bool SetRegistryValue(int root, const QString& key, const QString& name, const QString& data,
                        const std::function<bool()>& write) override {
    return inner_->SetRegistryValue(root, key, name, data, write);
  }
  kelvaro::PrintListStore StorePrintList(const QString& company, const QString& key,
                                         const std::function<kelvaro::PrintListStore()>& inspect,
                                         const std::function<kelvaro::PrintListStore()>& store) override {
    return inner_->StorePrintList(company, key, inspect, store);
  }
  void KeepChanges() override { inner_->KeepChanges(); }
  uint64_t least() const { return least_; }

 private:
  kelvaro::WorkstationChanges* inner_;
  std::string path_;
  uint64_t least_ = UINT64_MAX;
};

// How far the free space of the program's file system falls below where it
// was before the run, at its lowest between changes.
double peakDrop(kelvaro::TdmUpdateCommon& engine, const fixtures::TempPrefix& prefix, bool journal) {
  installOld(prefix);
  const std::string folder = prefix.hostPath(kFolder);
  const uint64_t before = freeBytes(folder);
  kelvaro::StubJournalForBenchmarks(!journal);
  kelvaro::WorkstationUnit unit;
  FreeSpaceWatch watch(&unit, folder);
  {
    kelvaro::ScopedChanges door(&watch);
    engine.SetAppNameType(kelvaro::antTorvida);
    engine.UpdateTorvida();
  }
  unit.KeepChanges();
  kelvaro::StubJournalForBenchmarks(false);
  return before > watch.least() ? double(before - watch.least()) : 0;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 15;
  fixtures::TempPrefix prefix;
  kelvaro::ScopedScriptedUser user;
  const std::string update = prefix.root() + "/MajBench";
  writeUpdate(update);
  platform::SetResourceModule(kelvaro::toW(QString::fromStdString(update)));
  kelvaro::TdmUpdateCommon engine;
  engine.InitLog(&user.user);

  std::vector<double> withJournal, stubbed;
  for (int round = 0; round < rounds; ++round) {
    for (int side = 0; side < 2; ++side) {
      const bool journal = (side == 0) == (round % 2 == 0);
      installOld(prefix);
      user.user.report.clear();
      (journal ? withJournal : stubbed).push_back(timedRun(engine, journal));
    }
  }
  const double a = bench::Median(withJournal), b = bench::Median(stubbed);
  const double ratio = a / b;
  std::printf("run with its journal:        %.3f s (median of %d)\n", a, rounds);
  std::printf("run with the journal stubbed: %.3f s (median of %d)\n", b, rounds);
  std::printf("ratio journal / stubbed:      %.3f (ceiling %.2f)\n", ratio, kCeiling);

  // The extra disk the kept files hold at their peak: the least free space
  // seen between changes, with the journal and without.
  uint64_t replaced = 0;
  for (const Carried& c : kFiles) replaced += c.installed ? uint64_t(c.size) : 0;
  const double withKept = peakDrop(engine, prefix, true), without = peakDrop(engine, prefix, false);
  std::printf("peak extra disk while the unit lasts: %.1f MB (the files it replaced: %.1f MB)\n",
              (withKept - without) / 1048576.0, double(replaced) / 1048576.0);
  return ratio <= kCeiling ? 0 : 1;
}

// A dry run against the run it plans: the demo's update (the files
// scripts/make-demo-update.sh writes: the address manager's newer library,
// its companions and six print lists) run by kelvaro-update-batch on a
// workstation with the old library and three companies on the local server,
// and the same update with --dry-run on the same state. Each side is a whole
// process as an administrator waits for it; the sides alternate, each real
// run starting from the old library and no stored list again. Prints each
// pair, the medians and their ratio (dry run over run) against the ceiling
// of 1.0; exit status 1 above it or when a run did not end as expected.
//
//   bench_dry_run [--pairs=N]   (default 7; needs the server on
//                                127.0.0.1:3050 and root)
#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "db/company_database.h"
#include "fixtures/packed_update.h"
#include "fixtures/workstation_fleet.h"
#include "median.h"
#include "site_runs.h"

namespace {

using bench::Clock;
constexpr double kCeiling = 1.0;
const char* const kOldLibrary = "torvida_1_2_3_9.dll";

// The demo's carried files, written by its own script, carried by package.
bool CarryDemoUpdate(const fixtures::UpdatePackage& package, const std::string& folder) {
  const std::string files = folder + "/demo-files";
  QProcess script;
  script.start(QStringLiteral("bash"),
               {QStringLiteral(KELVARO_SOURCE_DIR "/scripts/make-demo-update.sh"), QString::fromStdString(files),
                QStringLiteral(KELVARO_PE_FIXTURES "/torvida_2_0_0_0.dll")});
  if (!script.waitForFinished(60000) || script.exitCode() != 0) return false;
  for (const auto& entry : std::filesystem::directory_iterator(files)) {
    std::ifstream in(entry.path(), std::ios::binary);
    package.carry(entry.path().filename().string(), std::string(std::istreambuf_iterator<char>(in), {}));
  }
  return true;
}


}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int pairs = bench::PairsFlag(argc, argv, 7);
  if (!bench::ServerThere()) return 1;
  fixtures::TempDir work;
  const fixtures::UpdatePackage package(work.path());
  if (!CarryDemoUpdate(package, work.path())) {
    std::fprintf(stderr, "make-demo-update.sh failed\n");
    return 1;
  }
  const std::string update = package.pack("MajTorvida");
  if (update.empty()) return 1;
  std::vector<std::unique_ptr<dbtest::CompanyDatabase>> databases;
  const std::vector<fixtures::SharedCompany> companies =
      bench::Companies({QStringLiteral("Alpha"), QStringLiteral("Beta"), QStringLiteral("Gamma")}, &databases);
  const fixtures::WorkstationFleet site(1, companies, kOldLibrary);
  const auto oldState = [&] {
    for (const auto& db : databases) db->exec({QStringLiteral("DELETE FROM PRT_Params")});
    std::filesystem::remove_all(site.workstation(0).hostPath("C:\\WKelvaro\\Torvida\\Programs"));
    fixtures::InstallTorvida(site.workstation(0), kOldLibrary);
  };

  std::vector<double> dry, real;
  int unexpected = 0;
  std::printf("%-6s %12s %12s\n", "pair", "dry run (s)", "run (s)");
  for (int pair = 0; pair < pairs; ++pair) {
    oldState();
    auto started = Clock::now();
    const fixtures::BatchRun planned = site.runTogether(update, {QStringLiteral("--dry-run")}).front();
    dry.push_back(bench::SecondsSince(started));
    started = Clock::now();
    const fixtures::BatchRun done = site.runTogether(update).front();
    real.push_back(bench::SecondsSince(started));
    if (planned.exitCode != 10 || done.exitCode != 0) {
      ++unexpected;
      std::fprintf(stderr, "dry run %d, run %d:\n%s%s\n", planned.exitCode, done.exitCode, qPrintable(done.out),
                   qPrintable(done.err));
    }
    std::printf("%-6d %12.3f %12.3f\n", pair + 1, dry.back(), real.back());
  }
  const double ratio = bench::Median(dry) / bench::Median(real);
  std::printf("median: dry run %.3f s, run %.3f s; ratio %.3f (ceiling %.2f)\n", bench::Median(dry),
              bench::Median(real), ratio, kCeiling);
  return ratio > kCeiling || unexpected > 0 ? 1 : 0;
}

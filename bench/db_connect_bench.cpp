// What the checks of ConnectAsKelvaro cost: the module's connect and
// disconnect (client check, attachment, services query, identity and
// version, two free-space queries, presence registration and removal) next
// to a bare attach and detach by the client, on the same database of the
// local server, in the same run. The ratio is printed at the end against the
// floor of 4.
//
// Needs the server on 127.0.0.1:3050 (scripts/firebird/start-server.sh) and
// root (the database folder is handed to the firebird user).
#include <benchmark/benchmark.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "db/db_connection.h"
#include "db/fb_handles.h"
#include "fixtures/temp_prefix.h"
#include "support/scripted_user.h"

namespace {

std::string g_folder;  // host folder of the database, drive D: of the prefix

std::string ScriptsDir() {
  return (std::filesystem::path(__FILE__).parent_path().parent_path() / "scripts" / "firebird").string();
}

bool CreateDatabase() {
  char pattern[] = "/tmp/kelvaro-bench-XXXXXX";
  if (!mkdtemp(pattern)) return false;
  g_folder = pattern;
  const passwd* user = getpwnam("firebird");
  const group* grp = getgrnam("firebird");
  if (!user || !grp || chown(pattern, user->pw_uid, grp->gr_gid) != 0) return false;
  chmod(pattern, 02775);
  const std::string command = ScriptsDir() + "/create-database.sh " + g_folder + "/company.fdb >/dev/null";
  return std::system(command.c_str()) == 0;
}

void BM_BareAttachDetach(benchmark::State& state) {
  using namespace kelvaro::db;
  const QByteArray name = QByteArray("127.0.0.1:") + QByteArray::fromStdString(g_folder) + "/company.fdb";
  for (auto _ : state) {
    ParameterBlock dpb({isc_dpb_version1});
    dpb.addString(isc_dpb_user_name, "KELVARO");
    dpb.addString(isc_dpb_password, "83527146");
    dpb.addString(isc_dpb_lc_ctype, "ISO8859_1");
    Attachment attachment;
    attachment.attach(name, dpb);
    attachment.detach();
  }
}
BENCHMARK(BM_BareAttachDetach)->Unit(benchmark::kMillisecond);

void BM_ConnectAsKelvaroDisconnect(benchmark::State& state) {
  using namespace kelvaro::db;
  fixtures::TempPrefix prefix;
  prefix.addDrive('D', g_folder);
  kelvaro::ScopedScriptedUser scripted;
  TdmDBConnection module;
  int pauses = 0;
  module.DatabaseManager->setPauseFunction([&](int) { ++pauses; });
  module.Init(2, QStringLiteral("WK_Torvida"), QString(), QStringLiteral("Bench"));
  module.SetParams(QStringLiteral("127.0.0.1:D:\\company.fdb"), QString(), QString(), QString());
  for (auto _ : state) {
    module.ConnectAsKelvaro();
    if (!module.Connected()) state.SkipWithError("not connected");
    module.Disconnect();
  }
  if (pauses > 0 || !scripted.user.shown.empty()) state.SkipWithError("the normal path paused or spoke");
}
BENCHMARK(BM_ConnectAsKelvaroDisconnect)->Unit(benchmark::kMillisecond);

// Keeps each benchmark's time per iteration for the ratio.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) times[run.benchmark_name()] = run.GetAdjustedRealTime();
  }
  std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (!CreateDatabase()) {
    std::fprintf(stderr, "cannot create the benchmark database (server running? root?)\n");
    return 1;
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::error_code ignored;
  std::filesystem::remove_all(g_folder, ignored);

  const auto bare = reporter.times.find("BM_BareAttachDetach");
  const auto full = reporter.times.find("BM_ConnectAsKelvaroDisconnect");
  if (bare == reporter.times.end() || full == reporter.times.end()) return 1;
  const double ratio = full->second / bare->second;
  std::printf("ConnectAsKelvaro+Disconnect / bare attach+detach = %.2f (floor: at most 4.00) %s\n", ratio,
              ratio <= 4.0 ? "OK" : "ABOVE");
  return 0;
}

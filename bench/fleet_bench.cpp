// Fleet roll-out: the address manager's update (its library, four companions
// and five print lists) run by kelvaro-update-batch on six workstations at
// once, each its own prefix with its own computer name, against the same
// three company databases on the local server, compared with the same update
// on one workstation alone. A side is timed from the start of its first
// process to the end of its last, whole processes as an administrator waits
// for them.
//
// The sides alternate (one alone, six at once, one alone, ...) so that a
// busy moment of the machine falls on both, and each run starts from the
// same state: the old library installed, and the print lists either absent
// from the databases (every workstation adds them: the runs meet on new
// keys) or stored with an older text (every workstation updates them: the
// runs meet on the same rows). Each state is run three times: with the
// databases idle between runs, as at night; idle but told to linger (ALTER
// DATABASE SET LINGER), so that the server keeps them open a while after
// their last attachment ends; and in use, an attachment held open on each
// through the runs, as when the product is open on other desks. They differ
// by more than the work: the server closes an idle database when its last
// attachment ends, and an attachment that arrives while it closes waits
// about a second. The summary gives every pair, the medians per state and
// the ratio of the medians, six at once over one alone, against the limit of
// 1.5. Beside them it prints the CPU the runs and the database server used,
// and what that CPU spread over the machine's cores allows at best. Exit
// status 1 when a ratio exceeds the limit or a run did not end in success.
//
// Flags besides Google Benchmark's: --pairs=N (default 5) pairs per state.
// Needs the server on 127.0.0.1:3050 and root (the databases are handed to
// the firebird user).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "db/company_database.h"
#include "db/ib_components.h"
#include "fixtures/packed_update.h"
#include "fixtures/workstation_fleet.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWorkstations = 6;
constexpr double kLimit = 1.5;
const char* const kOldLibrary = "torvida_1_2_3_9.dll";

int g_pairs = 5;

struct Setting {
  std::string update;
  std::vector<std::unique_ptr<dbtest::CompanyDatabase>> databases;
  std::unique_ptr<fixtures::WorkstationFleet> fleet;
};
Setting* g_setting = nullptr;

enum class Lists { Absent, Stored };
enum class Databases { Idle, Lingering, InUse };
using State = std::pair<Lists, Databases>;

struct Side {
  double seconds = 0;
  double cpuSeconds = 0;        // of the runs themselves
  double serverCpuSeconds = 0;  // of the database server meanwhile
};
std::string Name(const State& state) {
  return std::string(state.first == Lists::Absent ? "lists new" : "lists stored") +
         (state.second == Databases::Idle        ? ", databases idle"
          : state.second == Databases::Lingering ? ", databases idle, lingering"
                                                 : ", databases in use");
}

// Each side's figures, per state.
std::map<State, std::vector<Side>> g_alone, g_together;
int g_failedRuns = 0;

void Prepare(Lists state, int workstations) {
  for (const auto& db : g_setting->databases) {
    db->exec({state == Lists::Absent ? QStringLiteral("DELETE FROM PRT_Params")
                                     : QStringLiteral("UPDATE PRT_Params SET print_params = 'older text'")});
  }
  for (int i = 0; i < workstations; ++i) fixtures::InstallTorvida(g_setting->fleet->workstation(i), kOldLibrary);
}

// CPU seconds (user and system) of the Firebird server's processes so far:
// the runs' work on the server, with whatever else it serves meanwhile.
double ServerCpuSeconds() {
  double seconds = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::ifstream comm(entry.path() / "comm");
    std::string name;
    if (!std::getline(comm, name) || name != "firebird") continue;
    std::ifstream stat(entry.path() / "stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    const size_t afterName = text.rfind(')');
    if (afterName == std::string::npos) continue;
    std::istringstream fields(text.substr(afterName + 2));
    std::string field;
    double ticks = 0;
    // Fields 3 to 15 of the line; utime and stime are 14 and 15.
    for (int i = 3; i <= 15 && fields >> field; ++i)
      if (i >= 14) ticks += std::stod(field);
    seconds += ticks / double(sysconf(_SC_CLK_TCK));
  }
  return seconds;
}

// CPU seconds (user and system) of the ended child processes so far.
double ChildrenCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

Side TimedRollout(int workstations) {
  const double cpuBefore = ChildrenCpuSeconds();
  const double serverBefore = ServerCpuSeconds();
  const auto started = Clock::now();
  const std::vector<fixtures::BatchRun> runs = g_setting->fleet->runTogether(g_setting->update, {}, workstations);
  const Side side{std::chrono::duration<double>(Clock::now() - started).count(), ChildrenCpuSeconds() - cpuBefore,
                  ServerCpuSeconds() - serverBefore};
  for (const fixtures::BatchRun& run : runs) {
    if (run.exitCode == 0) continue;
    ++g_failedRuns;
    std::fprintf(stderr, "a run ended with %d:\n%s%s\n", run.exitCode, qPrintable(run.out), qPrintable(run.err));
  }
  return side;
}

// An attachment held open on each company database, as by the product on
// another desk, for as long as the object lives.
class DatabasesInUse {
 public:
  DatabasesInUse() {
    for (const auto& db : g_setting->databases) held_.push_back(dbtest::AttachAsKelvaro(db->helperConnection()));
  }

 private:
  std::vector<std::unique_ptr<kelvaro::db::IbDatabase>> held_;
};

// The databases told to stay open a minute after their last attachment ends,
// for as long as the object lives.
class LingeringDatabases {
 public:
  LingeringDatabases() { SetLinger(QStringLiteral("ALTER DATABASE SET LINGER TO 60")); }
  ~LingeringDatabases() { SetLinger(QStringLiteral("ALTER DATABASE DROP LINGER")); }

 private:
  static void SetLinger(const QString& statement) {
    for (const auto& db : g_setting->databases) db->exec({statement});
  }
};

// One iteration: one workstation alone, then six at once, from the same
// state of the lists and the databases.
void BM_FleetRollout(benchmark::State& state) {
  const Lists lists = state.range(0) == 0 ? Lists::Absent : Lists::Stored;
  const auto databases = static_cast<Databases>(state.range(1));
  const State key{lists, databases};
  std::unique_ptr<DatabasesInUse> inUse;
  std::unique_ptr<LingeringDatabases> lingering;
  if (databases == Databases::InUse) inUse = std::make_unique<DatabasesInUse>();
  if (databases == Databases::Lingering) lingering = std::make_unique<LingeringDatabases>();
  // Preparing attaches to every database; idle databases are given the time
  // to be closed again before a side starts, so that the server's closing
  // met by a side is its own workstations' doing.
  const auto prepare = [&](int workstations) {
    Prepare(lists, workstations);
    if (databases == Databases::Idle) std::this_thread::sleep_for(std::chrono::milliseconds(500));
  };
  for (auto _ : state) {
    prepare(1);
    const Side alone = TimedRollout(1);
    prepare(kWorkstations);
    const Side together = TimedRollout(kWorkstations);
    g_alone[key].push_back(alone);
    g_together[key].push_back(together);
    state.SetIterationTime(together.seconds);
    state.counters["alone_s"] = alone.seconds;
    state.counters["six_at_once_s"] = together.seconds;
    state.counters["ratio"] = together.seconds / alone.seconds;
  }
}

double Median(const std::vector<Side>& sides, double Side::*figure) {
  std::vector<double> values;
  for (const Side& side : sides) values.push_back(side.*figure);
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The machine's load averages: on a machine busy with other work the
// figures mean less, so the summary shows how busy it was.
std::string LoadAverages() {
  char text[64] = {};
  if (FILE* file = std::fopen("/proc/loadavg", "r")) {
    if (!std::fgets(text, sizeof text, file)) text[0] = 0;
    std::fclose(file);
  }
  return text;
}

bool PrintSummary() {
  bool ok = g_failedRuns == 0;
  std::printf("\n%d workstations at once against one alone, 3 companies, %zu lists each\n", kWorkstations,
              fixtures::FleetLists().size());
  for (const auto& [key, alone] : g_alone) {
    const std::vector<Side>& together = g_together[key];
    std::printf("%s:\n", Name(key).c_str());
    for (size_t i = 0; i < alone.size(); ++i)
      std::printf("  pair %zu: one alone %.2f s (CPU %.2f s), six at once %.2f s (CPU %.2f s), ratio %.2f\n", i + 1,
                  alone[i].seconds, alone[i].cpuSeconds, together[i].seconds, together[i].cpuSeconds,
                  together[i].seconds / alone[i].seconds);
    const double ratio = Median(together, &Side::seconds) / Median(alone, &Side::seconds);
    std::printf("  median: one alone %.2f s, six at once %.2f s, ratio %.2f (limit %.1f) %s\n",
                Median(alone, &Side::seconds), Median(together, &Side::seconds), ratio, kLimit,
                ratio <= kLimit ? "ok" : "EXCEEDED");
    std::printf("  median CPU of the runs: one alone %.2f s, six at once %.2f s; of the server: %.2f s, %.2f s\n",
                Median(alone, &Side::cpuSeconds), Median(together, &Side::cpuSeconds),
                Median(alone, &Side::serverCpuSeconds), Median(together, &Side::serverCpuSeconds));
    // Six runs' work spread over every core is as fast as six at once can be.
    const double floor = (Median(together, &Side::cpuSeconds) + Median(together, &Side::serverCpuSeconds)) /
                         double(std::max(1L, sysconf(_SC_NPROCESSORS_ONLN)));
    std::printf("  six at once can take no less than their CPU over %ld cores: %.2f s, ratio %.2f\n",
                sysconf(_SC_NPROCESSORS_ONLN), floor, floor / Median(alone, &Side::seconds));
    ok = ok && ratio <= kLimit;
  }
  std::printf("runs that did not succeed: %d (must be 0)\n", g_failedRuns);
  std::printf("load averages at the end: %s", LoadAverages().c_str());
  return ok;
}

bool ParseOwnFlags(int* argc, char** argv) {
  int kept = 1;
  for (int i = 1; i < *argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--pairs=", 0) == 0) g_pairs = std::atoi(arg.c_str() + 8);
    else argv[kept++] = argv[i];
  }
  *argc = kept;
  return g_pairs > 0;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (!ParseOwnFlags(&argc, argv)) {
    std::fprintf(stderr, "--pairs must be at least 1\n");
    return 2;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
  if (!dbtest::ServerReachable()) {
    std::fprintf(stderr, "no Firebird server on 127.0.0.1:3050 (scripts/firebird/start-server.sh)\n");
    return 1;
  }
  fixtures::TempDir work;
  const fixtures::UpdatePackage package(work.path());
  fixtures::CarryFleetUpdate(package, "torvida_2_0_0_0.dll");
  Setting setting;
  setting.update = package.pack("MajTorvida");
  if (setting.update.empty()) return 1;
  std::vector<fixtures::SharedCompany> companies;
  for (const QString& name : {QStringLiteral("Alpha"), QStringLiteral("Beta"), QString()}) {
    setting.databases.push_back(std::make_unique<dbtest::CompanyDatabase>());
    companies.push_back({name, setting.databases.back()->folder().path()});
  }
  setting.fleet = std::make_unique<fixtures::WorkstationFleet>(kWorkstations, companies, kOldLibrary);
  g_setting = &setting;
  benchmark::RegisterBenchmark("BM_FleetRollout", BM_FleetRollout)
      ->ArgNames({"lists_stored", "databases"})
      ->ArgsProduct({{0, 1}, {int(Databases::Idle), int(Databases::Lingering), int(Databases::InUse)}})
      ->Iterations(g_pairs)
      ->UseManualTime()
      ->Unit(benchmark::kSecond);
  benchmark::RunSpecifiedBenchmarks();
  g_setting = nullptr;
  const bool ok = PrintSummary();
  benchmark::Shutdown();
  return ok ? 0 : 1;
}

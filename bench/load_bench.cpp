// Load: one update's six print lists installed into 200 company databases on
// the local server, through the engine exactly as the product routines call
// it (InstallPrintLists: registry look-up, ConnectAsKelvaro with all its
// checks, presence registration, one transaction per existence test and per
// list, unregistration, disconnect), one company after the other.
//
// Each repetition is one program run: a fresh engine over the same
// databases (the first run adds the lists, the later ones update them). The
// report sink timestamps every company heading, which gives
//   - seconds per company around company 20 (mean of companies 11-30) and
//     around the last one (mean of the last 20), and their ratio: flat when
//     it is at most kFlatRatio;
//   - the process's peak resident memory (VmHWM) after company 20 and after
//     the last company, and its growth in %: at most kMaxGrowthPercent;
// and after every run the presence rows (table Users) left in all the
// databases are counted: there must be none. For reading those figures the
// summary adds the median time per company (a stall of the machine does not
// move it), this process's own CPU time per company (the wall time mostly
// waits on the server's forced writes), the resident set now and the bytes
// the allocator has handed out (a leak shows there before it shows in the
// peak). The first run's heap grows by about a kilobyte per company where
// the later ones stay level: most of it is the prefix's registry, which
// parses a key's values on its first read and keeps them for the process,
// as the program does.
//
// The databases are made once, before the runs: one through the server with
// isql-fb as the tests make theirs, the others copies of its file (a closed
// Firebird database is an ordinary file). They are dropped at the end.
//
// Flags besides Google Benchmark's: --companies=N (default 200, at least
// 50), --keep (leave the databases and print their folder), --reuse=FOLDER
// (the company-NNN.fdb files a --keep run left). Exit status 1 when a limit
// is exceeded, a company was not done or a presence row is left.
//
// Needs the server on 127.0.0.1:3050 (scripts/firebird/start-server.sh) and
// root (the database files are handed to the firebird user).
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <grp.h>
#include <malloc.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "db/company_database.h"
#include "db/connection_string.h"
#include "db/fb_handles.h"
#include "engine/payload.h"
#include "engine/resource_pack.h"
#include "engine/update_common.h"
#include "fixtures/temp_prefix.h"
#include "platform/module_resources.h"
#include "support/registry_access.h"
#include "support/report_sink.h"
#include "support/scripted_user.h"
#include "support/text.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kLists = 6;
constexpr int kWindow = 20;  // companies averaged at each timing point
constexpr int kEarlyPoint = 20;
constexpr int kEarlyFirst = kEarlyPoint - kWindow / 2 + 1;  // companies 11-30
constexpr double kFlatRatio = 1.2;
constexpr double kMaxGrowthPercent = 10.0;

const QString kHeading = QStringLiteral("Mise à jour de listes pour la société ");
const QString kNotReached = QStringLiteral("Echec de connexion");
const QString kListLine = QStringLiteral("Les paramètres pour l'impression : \"");

struct Options {
  int companies = 200;
  bool keep = false;
  std::string reuse;
};
Options g_options;

// --- Measuring ---------------------------------------------------------------

// A memory figure of /proc/self/status in kB: "VmHWM" (the peak resident
// set so far) or "VmRSS" (the resident set now).
long StatusKb(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
  return -1;
}

// Peak and current resident set, and the bytes the allocator has handed
// out and not had back: a leak shows there even when freed pages hide it
// from the resident set.
struct Memory {
  long peak = -1, resident = -1;
  long heapInUse = -1;  // bytes
};
Memory MemoryNow() {
  const struct mallinfo2 heap = mallinfo2();
  return {StatusKb("VmHWM"), StatusKb("VmRSS"), long(heap.uordblks + heap.hblkhd)};
}

// CPU time of this process so far, in seconds: the program's own share of
// a company, next to the wall time that mostly waits on the server.
double ProcessCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// The report of the run as the wizard's report page would receive it, kept
// as timestamps and counts only, so that the sink itself does not grow with
// the number of companies.
class TimingSink : public kelvaro::ReportSink {
 public:
  explicit TimingSink(int companies) : starts_(size_t(companies)), cpuStarts_(size_t(companies)) {}

  void AppendLine(const QString& text, int, const QString&) override {
    if (text.contains(kHeading)) {
      if (headings_ == kEarlyPoint) afterEarly_ = MemoryNow();
      if (size_t(headings_) < starts_.size()) {
        starts_[size_t(headings_)] = Clock::now();
        cpuStarts_[size_t(headings_)] = ProcessCpuSeconds();
      }
      ++headings_;
    } else if (text.startsWith(kNotReached)) {
      ++notReached_;
    } else if (text.startsWith(kListLine)) {
      ++lists_;
    }
  }
  void finish() {
    end_ = Clock::now();
    cpuEnd_ = ProcessCpuSeconds();
    afterLast_ = MemoryNow();
  }

  // Mean seconds per company over companies first..first+count-1 (1-based):
  // from the heading of the first to the heading after the last (or the end
  // of the run).
  double secondsPerCompany(int first, int count) const {
    const size_t from = size_t(first - 1), to = size_t(first - 1 + count);
    const Clock::time_point stop = to < starts_.size() ? starts_[to] : end_;
    return std::chrono::duration<double>(stop - starts_[from]).count() / count;
  }
  // The median of the same companies' own times: what a busy machine's
  // occasional stall does not move.
  double medianSecondsPerCompany(int first, int count) const {
    std::vector<double> times;
    for (int k = first - 1; k < first - 1 + count; ++k) {
      const Clock::time_point stop = size_t(k + 1) < starts_.size() ? starts_[size_t(k + 1)] : end_;
      times.push_back(std::chrono::duration<double>(stop - starts_[size_t(k)]).count());
    }
    std::nth_element(times.begin(), times.begin() + count / 2, times.end());
    return times[size_t(count / 2)];
  }
  // The same in CPU seconds of this process.
  double cpuSecondsPerCompany(int first, int count) const {
    const size_t from = size_t(first - 1), to = size_t(first - 1 + count);
    return ((to < cpuStarts_.size() ? cpuStarts_[to] : cpuEnd_) - cpuStarts_[from]) / count;
  }
  int headings() const { return headings_; }
  int notReached() const { return notReached_; }
  int lists() const { return lists_; }
  const Memory& afterEarly() const { return afterEarly_; }
  const Memory& afterLast() const { return afterLast_; }

 private:
  std::vector<Clock::time_point> starts_;
  Clock::time_point end_;
  std::vector<double> cpuStarts_;
  double cpuEnd_ = 0;
  int headings_ = 0;
  int notReached_ = 0;
  int lists_ = 0;
  Memory afterEarly_;
  Memory afterLast_;
};

// --- The company databases ---------------------------------------------------

void HandToFirebird(const std::string& path, mode_t mode) {
  const passwd* user = getpwnam("firebird");
  const group* grp = getgrnam("firebird");
  if (!user || !grp) throw std::runtime_error("no firebird user: install firebird3.0-server");
  if (chown(path.c_str(), user->pw_uid, grp->gr_gid) != 0)
    throw std::runtime_error("chown " + path + " failed (the benchmark runs as root)");
  chmod(path.c_str(), mode);
}

QString HostFile(const std::string& folder, int index) {
  char name[32];
  std::snprintf(name, sizeof name, "company-%03d.fdb", index);
  return QString::fromStdString(folder + "/" + name);
}

class CompanyDatabases {
 public:
  // Makes the databases in a new folder, or takes those of a kept one.
  CompanyDatabases(int count, const std::string& reuse) : count_(count) {
    const auto started = Clock::now();
    if (!reuse.empty()) {
      folder_ = reuse;
      for (int i = 0; i < count; ++i)
        if (!fs::exists(HostFile(folder_, i).toStdString()))
          throw std::runtime_error(HostFile(folder_, i).toStdString() + " is missing");
    } else {
      create();
    }
    creationSeconds_ = std::chrono::duration<double>(Clock::now() - started).count();
  }
  ~CompanyDatabases() {
    if (g_options.keep) {
      std::printf("databases kept in %s (--reuse=%s)\n", folder_.c_str(), folder_.c_str());
      return;
    }
    dropAll();
  }
  CompanyDatabases(const CompanyDatabases&) = delete;
  CompanyDatabases& operator=(const CompanyDatabases&) = delete;

  int count() const { return count_; }
  QString file(int index) const { return HostFile(folder_, index); }
  QString serverName(int index) const { return QStringLiteral("127.0.0.1:") + file(index); }
  double creationSeconds() const { return creationSeconds_; }

 private:
  void create() {
    std::string pattern = (fs::temp_directory_path() / "kelvaro-load-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    folder_ = pattern;
    HandToFirebird(folder_, 02775);
    // One database made through the server the way the tests make theirs;
    // once isql has detached, the server holds the file no more and it is
    // copied as it is.
    const dbtest::CompanyDatabase model;
    const std::string source = model.file().toStdString();
    for (int i = 0; i < count_; ++i) {
      const std::string target = file(i).toStdString();
      fs::copy_file(source, target);
      HandToFirebird(target, 0660);
    }
  }

  // isc_drop_database is not among the entry points the program needs, so
  // it is looked up here in the client the program has loaded.
  void dropAll() {
    using DropFunction = ISC_STATUS (*)(ISC_STATUS*, isc_db_handle*);
    void* library = dlopen(kelvaro::db::FbLibrary::LibraryName().toLocal8Bit().constData(), RTLD_NOW | RTLD_NOLOAD);
    const auto drop = library ? reinterpret_cast<DropFunction>(dlsym(library, "isc_drop_database")) : nullptr;
    int dropped = 0;
    for (int i = 0; i < count_ && drop; ++i) {
      try {
        kelvaro::db::ParameterBlock dpb({isc_dpb_version1});
        dpb.addString(isc_dpb_user_name, dbtest::kUser.toLatin1());
        dpb.addString(isc_dpb_password, dbtest::kPassword.toLatin1());
        kelvaro::db::Attachment attachment;
        attachment.attach(kelvaro::db::ClientDatabaseName(serverName(i)), dpb);
        ISC_STATUS_ARRAY status = {};
        drop(status, attachment.handle());
        if (status[0] == 1 && status[1] != 0) continue;  // the destructor detaches
        *attachment.handle() = 0;
        ++dropped;
      } catch (const std::exception& error) {
        std::fprintf(stderr, "cannot drop %s: %s\n", qPrintable(file(i)), error.what());
      }
    }
    if (library) dlclose(library);
    if (dropped != count_) std::fprintf(stderr, "%d of %d databases dropped; removing the files\n", dropped, count_);
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  int count_;
  std::string folder_;
  double creationSeconds_ = 0;
};

// Rows of a one-value SELECT COUNT(*) in every database, added up.
qint64 CountInAll(const CompanyDatabases& databases, const QString& select) {
  qint64 total = 0;
  for (int i = 0; i < databases.count(); ++i) total += dbtest::SelectRows(databases.serverName(i), select).value(0).value(0).toLongLong();
  return total;
}

// --- The installation being updated ------------------------------------------

QByteArray ListBytes(int i) {
  return QByteArray("COM:TV2\r\nDES:F:Liste fran\xE7" "aise ") + QByteArray::number(i) +
         "\r\nDES:D:Deutsche Liste\r\nDES:I:Lista italiana\r\n" + QByteArray(2000, 'x') + "\r\n";
}

// The update executable carrying "PrintLists.txt" and the six lists.
void CarryLists(const std::string& hostPath) {
  QFile out(QString::fromStdString(hostPath));
  if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) throw std::runtime_error("cannot write " + hostPath);
  kelvaro::PackedExecutableWriter writer(&out);
  QByteArray base("MZ load base");
  QBuffer baseDevice(&base);
  baseDevice.open(QIODevice::ReadOnly);
  writer.appendBase(&baseDevice, uint64_t(base.size()));
  QByteArray names;
  for (int i = 0; i < kLists; ++i) {
    const QString name = QStringLiteral("Liste%1.lst").arg(i);
    names += name.toLatin1() + "\r\n";
    writer.appendPayload(name, kelvaro::EncodePayload(ListBytes(i), 0));
  }
  writer.appendPayload(QStringLiteral("PrintLists.txt"), kelvaro::EncodePayload(names, 0));
  writer.finish();
  out.close();
  platform::SetResourceModule(kelvaro::toW(QString::fromStdString(hostPath)));
}

// Every company of the address manager named in the registry with its
// database on the local server (through Z:, the host's root), and listed in
// the company file the engine reads when it is created.
void RegisterCompanies(const fixtures::TempPrefix& prefix, const CompanyDatabases& databases) {
  std::string companies;
  for (int i = 0; i < databases.count(); ++i) {
    const QString company = QStringLiteral("Societe%1").arg(i + 1, 3, 10, QLatin1Char('0'));
    QString name = databases.file(i);
    name.replace(QLatin1Char('/'), QLatin1Char('\\'));
    kelvaro::WriteRegistryValue(kelvaro::kHkeyLocalMachine,
                                QStringLiteral("SOFTWARE\\KELVARO S.A.\\Torvida\\") + company,
                                QStringLiteral("DatabaseName"), QStringLiteral("127.0.0.1:Z:") + name,
                                kelvaro::RegistryKind::String, true);
    companies += company.toStdString() + "\r\n";
  }
  prefix.writeFile("C:\\Kelvaro\\multiste.txt", companies);
}

// --- The benchmark -----------------------------------------------------------

struct RunFigures {
  double early = 0, late = 0;  // seconds per company
  double medianEarly = 0, medianLate = 0;
  double cpuEarly = 0, cpuLate = 0;  // CPU seconds per company
  Memory memoryEarly, memoryLate;  // kB
  double seconds = 0;
  int companiesDone = 0, lists = 0, boxes = 0;
  qint64 presenceRows = 0;
  double ratio() const { return late / early; }
  double growthPercent() const {
    return 100.0 * double(memoryLate.peak - memoryEarly.peak) / double(memoryEarly.peak);
  }
};

CompanyDatabases* g_databases = nullptr;
std::vector<RunFigures> g_runs;

void BM_InstallListsForAllCompanies(benchmark::State& state) {
  const int companies = g_databases->count();
  for (auto _ : state) {
    TimingSink sink(companies);
    kelvaro::ScopedScriptedUser scripted;
    const auto started = Clock::now();
    kelvaro::TUpdateResultType result;
    {
      // One program run: the engine lives from start-up to the end.
      kelvaro::TdmUpdateCommon engine;
      engine.InitLog(&sink);
      engine.SetAppNameType(kelvaro::antTorvida);
      result = engine.InstallPrintLists(QString());
      sink.finish();
    }
    RunFigures run;
    run.seconds = std::chrono::duration<double>(Clock::now() - started).count();
    state.PauseTiming();
    run.early = sink.secondsPerCompany(kEarlyFirst, kWindow);
    run.late = sink.secondsPerCompany(companies - kWindow + 1, kWindow);
    run.medianEarly = sink.medianSecondsPerCompany(kEarlyFirst, kWindow);
    run.medianLate = sink.medianSecondsPerCompany(companies - kWindow + 1, kWindow);
    run.cpuEarly = sink.cpuSecondsPerCompany(kEarlyFirst, kWindow);
    run.cpuLate = sink.cpuSecondsPerCompany(companies - kWindow + 1, kWindow);
    run.memoryEarly = sink.afterEarly();
    run.memoryLate = sink.afterLast();
    run.companiesDone = sink.headings() - sink.notReached();
    run.lists = sink.lists();
    run.boxes = int(scripted.user.shown.size());
    run.presenceRows = CountInAll(*g_databases, QStringLiteral("SELECT COUNT(*) FROM Users"));
    g_runs.push_back(run);
    state.counters["s_per_company_at_20"] = run.early;
    state.counters["s_per_company_at_last"] = run.late;
    state.counters["ratio"] = run.ratio();
    state.counters["peak_MiB_at_20"] = double(run.memoryEarly.peak) / 1024;
    state.counters["peak_MiB_at_last"] = double(run.memoryLate.peak) / 1024;
    state.counters["growth_pct"] = run.growthPercent();
    state.counters["presence_rows"] = double(run.presenceRows);
    state.ResumeTiming();
    if (result != kelvaro::urtOk || run.companiesDone != companies)
      state.SkipWithError("a company was not installed");
  }
}
BENCHMARK(BM_InstallListsForAllCompanies)->Unit(benchmark::kSecond)->Iterations(1)->Repetitions(2)->UseRealTime();

// Takes this benchmark's own flags out of argv before Google Benchmark sees
// it.
bool ParseOwnFlags(int* argc, char** argv) {
  int kept = 1;
  for (int i = 1; i < *argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--companies=", 0) == 0) {
      g_options.companies = std::atoi(arg.c_str() + 12);
    } else if (arg == "--keep") {
      g_options.keep = true;
    } else if (arg.rfind("--reuse=", 0) == 0) {
      g_options.reuse = arg.substr(8);
    } else {
      argv[kept++] = argv[i];
    }
  }
  *argc = kept;
  if (g_options.companies < kEarlyFirst + 2 * kWindow - 1) {
    std::fprintf(stderr, "--companies must be at least %d\n", kEarlyFirst + 2 * kWindow - 1);
    return false;
  }
  return true;
}

// The machine's load averages: the timing figures mean little on a machine
// busy with other work, so the summary shows how busy it was.
std::string LoadAverages() {
  std::ifstream in("/proc/loadavg");
  std::string one, five, fifteen;
  in >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

const char* Verdict(bool ok) { return ok ? "ok" : "EXCEEDED"; }

// The figures of every run against their limits; true when all hold.
bool PrintSummary(const CompanyDatabases& databases, double totalSeconds) {
  const int n = databases.count();
  const qint64 stored = CountInAll(databases, QStringLiteral("SELECT COUNT(*) FROM PRT_Params"));
  bool ok = !g_runs.empty() && stored == qint64(n) * kLists;
  std::printf("\n%d companies, %d lists each; databases made in %.1f s (%.3f s each)\n", n, kLists,
              databases.creationSeconds(), databases.creationSeconds() / n);
  for (size_t r = 0; r < g_runs.size(); ++r) {
    const RunFigures& run = g_runs[r];
    const bool flat = run.ratio() <= kFlatRatio;
    const bool bounded = run.growthPercent() <= kMaxGrowthPercent;
    const bool complete = run.companiesDone == n && run.lists == n * kLists;
    ok = ok && flat && bounded && complete && run.presenceRows == 0;
    std::printf("run %zu (%s): %.1f s, %d/%d companies, %d lists, %d message boxes\n", r + 1,
                r == 0 && g_options.reuse.empty() ? "lists added" : "lists updated", run.seconds, run.companiesDone, n,
                run.lists, run.boxes);
    std::printf("  s/company at 20 (11-30): %.4f, at %d (%d-%d): %.4f, ratio %.2f (flat: <= %.2f) %s\n", run.early, n,
                n - kWindow + 1, n, run.late, run.ratio(), kFlatRatio, Verdict(flat));
    std::printf("  median s/company at 20: %.4f, at %d: %.4f, ratio %.2f\n", run.medianEarly, n, run.medianLate,
                run.medianLate / run.medianEarly);
    std::printf("  CPU s/company of this process at 20: %.4f, at %d: %.4f, ratio %.2f\n", run.cpuEarly, n,
                run.cpuLate, run.cpuLate / run.cpuEarly);
    std::printf("  peak memory (VmHWM) after company 20: %.1f MiB, after company %d: %.1f MiB, growth %.2f %% "
                "(limit %.0f %%) %s\n",
                run.memoryEarly.peak / 1024.0, n, run.memoryLate.peak / 1024.0, run.growthPercent(), kMaxGrowthPercent,
                Verdict(bounded));
    std::printf("  resident now (VmRSS) after company 20: %.1f MiB, after company %d: %.1f MiB (%+ld kB)\n",
                run.memoryEarly.resident / 1024.0, n, run.memoryLate.resident / 1024.0,
                run.memoryLate.resident - run.memoryEarly.resident);
    std::printf("  heap in use after company 20: %.1f kB, after company %d: %.1f kB (%+.1f kB)\n",
                run.memoryEarly.heapInUse / 1024.0, n, run.memoryLate.heapInUse / 1024.0,
                (run.memoryLate.heapInUse - run.memoryEarly.heapInUse) / 1024.0);
    std::printf("  presence rows left in the %d databases: %lld (must be 0) %s\n", n, (long long)run.presenceRows,
                Verdict(run.presenceRows == 0));
  }
  if (g_runs.size() > 1) {
    const double across = 100.0 * double(g_runs.back().memoryLate.peak - g_runs.front().memoryEarly.peak) /
                          double(g_runs.front().memoryEarly.peak);
    std::printf("peak memory from company 20 of the first run to the end of the last: growth %.2f %%\n", across);
  }
  std::printf("lists stored in the %d databases: %lld (expected %d) %s\n", n, (long long)stored, n * kLists,
              Verdict(stored == qint64(n) * kLists));
  std::printf("total %.1f s (load averages at the end: %s)\n", totalSeconds, LoadAverages().c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  QElapsedTimer total;
  total.start();
  QCoreApplication app(argc, argv);
  if (!ParseOwnFlags(&argc, argv)) return 2;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
  if (!dbtest::ServerReachable()) {
    std::fprintf(stderr, "no Firebird server on 127.0.0.1:3050 (scripts/firebird/start-server.sh)\n");
    return 1;
  }
  bool ok = false;
  try {
    CompanyDatabases databases(g_options.companies, g_options.reuse);
    fixtures::TempPrefix prefix;
    RegisterCompanies(prefix, databases);
    CarryLists(prefix.root() + "/MajLoad");
    g_databases = &databases;
    benchmark::RunSpecifiedBenchmarks();
    g_databases = nullptr;
    ok = PrintSummary(databases, total.elapsed() / 1000.0);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "load benchmark: %s\n", error.what());
    return 1;
  }
  benchmark::Shutdown();
  return ok ? 0 : 1;
}

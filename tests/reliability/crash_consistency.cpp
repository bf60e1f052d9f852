// crash_consistency [--kills N] [--seed S] [--library-mb M]: kills
// kelvaro-update-batch with SIGKILL at a random moment N times on a fixture
// installation (its program library M MB, 6 by default) and checks, after
// each kill, that nothing is half-written (installed files, registry files,
// print-list rows), that undoing what the killed run left (as the next start
// does) gives the program's files all old or all new, with no kept file and
// no journal left, then that a run to the end completes with the expected
// report and leaves no temporary file behind.
//
// The moment is drawn from the length of a run to the end measured first: a
// third of the kills anywhere in it, a third while files are copied, a third
// while the print lists are installed. Exit code 0 when no check failed, 1
// otherwise, 77 (skipped) when no Firebird server listens and
// KELVARO_REQUIRE_FIREBIRD is not set.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>

#include "db/company_database.h"
#include "reliability/crash_installation.h"

namespace {

using reliability::CrashInstallation;
using reliability::RunResult;
using reliability::StoredKeys;

constexpr int kSkipped = 77;

// Set by SIGINT or SIGTERM: the driver stops after the current kill and
// still removes its prefix and databases.
volatile std::sig_atomic_t stopRequested = 0;
void RequestStop(int) { stopRequested = 1; }

struct Options {
  int kills = 10;
  int libraryMb = 6;
  unsigned seed = std::random_device{}();
};

bool ParseOptions(const QStringList& args, Options* options) {
  for (qsizetype i = 0; i < args.size(); ++i) {
    bool ok = i + 1 < args.size();
    if (args[i] == QStringLiteral("--kills") && ok) options->kills = args[++i].toInt(&ok);
    else if (args[i] == QStringLiteral("--seed") && ok) options->seed = args[++i].toUInt(&ok);
    else if (args[i] == QStringLiteral("--library-mb") && ok) options->libraryMb = args[++i].toInt(&ok);
    else ok = false;
    if (!ok) return false;
  }
  return options->kills > 0 && options->libraryMb > 0;
}

// Phases of a run to the end, in milliseconds from its start.
struct Timeline {
  qint64 copy = 0;
  qint64 lists = 0;
  qint64 end = 0;
};

// Where a killed run was, told by the last lines of its report.
QString PhaseOf(const RunResult& run) {
  if (run.out.contains(QStringLiteral("Mise à jour de listes pour la société"))) {
    const QStringList names = CrashInstallation::CompanyNames();
    for (qsizetype i = names.size() - 1; i >= 0; --i) {
      if (run.out.contains(QStringLiteral("pour la société ") + names[i] + QLatin1Char('\n'))) return QStringLiteral("lists ") + names[i];
    }
  }
  const qsizetype copies = run.out.count(QStringLiteral("Copie de "));
  if (copies > 0) return QStringLiteral("copy %1").arg(copies);
  return QStringLiteral("start");
}

void Print(const QString& text) {
  std::fputs((text + QLatin1Char('\n')).toUtf8().constData(), stdout);
  std::fflush(stdout);
}

// A run to the end from the installation's old state: the expected report,
// the new state, and the phases' timing.
bool MeasureNormalRun(CrashInstallation& installation, Timeline* timeline) {
  StoredKeys stored;
  std::vector<std::string> violations;
  installation.Reset();
  installation.CheckConsistent(&violations, &stored);
  const RunResult run = installation.Run();
  installation.CheckCompleted(&violations);
  const QString expected = installation.ExpectedReport(stored);
  if (run.exitCode != 0 || run.out != expected || !violations.empty() || run.firstCopyMs < 0 || run.firstListsMs < 0) {
    Print(QStringLiteral("the run to the end is not as expected (exit code %1)\n--- report:\n%2--- expected:\n%3--- errors:\n%4")
              .arg(run.exitCode)
              .arg(run.out, expected, run.err));
    for (const std::string& v : violations) Print(QStringLiteral("  ") + QString::fromStdString(v));
    return false;
  }
  *timeline = {run.firstCopyMs, run.firstListsMs, run.elapsedMs};
  return true;
}

qint64 DrawDelay(std::mt19937& random, const Timeline& t) {
  auto uniform = [&random](qint64 from, qint64 to) {
    return std::uniform_int_distribution<qint64>(from, std::max(from, to))(random);
  };
  switch (random() % 3) {
    case 0: return uniform(0, t.end);
    case 1: return uniform(t.copy, t.lists);
    default: return uniform(t.lists, t.end);
  }
}

int Drive(const Options& options) {
  if (!dbtest::ServerReachable()) {
    if (dbtest::ServerRequired()) {
      Print(QStringLiteral("KELVARO_REQUIRE_FIREBIRD is set but no Firebird server listens on 127.0.0.1:3050"));
      return 1;
    }
    Print(QStringLiteral("skipped: no Firebird server on 127.0.0.1:3050"));
    return kSkipped;
  }
  unsetenv("SSH_CONNECTION");  // a console session, not a remote one
  QElapsedTimer clock;
  clock.start();
  CrashInstallation installation(options.libraryMb);

  // The first run fills the caches: the second one's length is the one
  // the killed runs will have.
  Timeline timeline;
  if (!MeasureNormalRun(installation, &timeline) || !MeasureNormalRun(installation, &timeline)) return 1;
  Print(QStringLiteral("run to the end: %1 ms (copy from %2 ms, lists from %3 ms); seed %4")
            .arg(timeline.end)
            .arg(timeline.copy)
            .arg(timeline.lists)
            .arg(options.seed));

  std::mt19937 random(options.seed);
  int kills = 0, endedFirst = 0, leftovers = 0, faultyKills = 0, serverStillAttached = 0;
  std::map<QString, int> phases;
  for (int attempt = 0; kills < options.kills && !stopRequested; ++attempt) {
    if (attempt > options.kills * 3) {
      Print(QStringLiteral("too many runs ended before their kill"));
      return 1;
    }
    installation.Reset();
    const qint64 delay = DrawDelay(random, timeline);
    const RunResult killed = installation.RunKilledAfter(delay);
    if (!killed.killed) {
      ++endedFirst;
      // Runs got faster than the measured one (a machine busy while it was
      // measured): its times are scaled down to this run's, so later kills
      // still land inside a run.
      if (killed.firstCopyMs >= 0 && killed.firstListsMs >= 0 && killed.elapsedMs < timeline.end)
        timeline = {killed.firstCopyMs, killed.firstListsMs, killed.elapsedMs};
      continue;
    }
    ++kills;
    const QString phase = PhaseOf(killed);
    ++phases[phase];
    // What the server was doing for the killed process (a commit sent just
    // before the kill) ends before the databases are looked at.
    if (installation.WaitUntilServerDrops(killed.pid)) ++serverStillAttached;
    std::vector<std::string> violations;
    StoredKeys stored;
    installation.CheckConsistent(&violations, &stored);
    leftovers += installation.LeftoverCount();
    if (const int code = installation.RestoreAfterKill(); code != 0)
      violations.push_back("undoing what the killed run left ended with exit code " + std::to_string(code));
    installation.CheckWholeUnit(&violations);

    const RunResult after = installation.Run();
    const QString expected = installation.ExpectedReport(stored);
    if (after.exitCode != 0) violations.push_back("the next run ended with exit code " + std::to_string(after.exitCode));
    if (after.out != expected)
      violations.push_back("the next run's report differs:\n" + after.out.toStdString() + "--- expected:\n" +
                           expected.toStdString() + "--- errors:\n" + after.err.toStdString());
    installation.CheckCompleted(&violations);

    if (!violations.empty()) ++faultyKills;
    Print(QStringLiteral("kill %1 at %2 ms (%3): %4")
              .arg(kills)
              .arg(delay)
              .arg(phase)
              .arg(violations.empty() ? QStringLiteral("consistent") : QStringLiteral("%1 violations").arg(violations.size())));
    for (const std::string& v : violations) Print(QStringLiteral("  ") + QString::fromStdString(v));
  }

  QString where;
  for (const auto& [phase, count] : phases) where += QStringLiteral(" %1: %2;").arg(phase).arg(count);
  Print(QStringLiteral("kills: %1, with violations: %2, runs that ended before their kill: %3, "
                       "temporary files killed runs left in the program folder: %4, "
                       "kills after which the server still held the run's attachment: %5, %6 s\nkills by phase:%7")
            .arg(kills)
            .arg(faultyKills)
            .arg(endedFirst)
            .arg(leftovers)
            .arg(serverStillAttached)
            .arg(clock.elapsed() / 1000)
            .arg(where));
  return faultyKills == 0 && !stopRequested ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  std::signal(SIGINT, RequestStop);
  std::signal(SIGTERM, RequestStop);
  Options options;
  if (!ParseOptions(app.arguments().mid(1), &options)) {
    std::fprintf(stderr, "usage: crash_consistency [--kills N] [--seed S] [--library-mb M]\n");
    return 2;
  }
  try {
    return Drive(options);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "crash_consistency: %s\n", error.what());
    return 1;
  }
}

// What installing print lists costs per company: six lists into each of 50
// company databases on the local server through the update engine
// (registry look-up, ConnectAsKelvaro with all its checks, one transaction
// per existence test and per list, presence registration, disconnect), next
// to a loop doing the same reads and writes directly with the client layer
// (attach, one transaction per list, detach), in the same run. Seconds per
// company are printed for both, with their ratio.
//
// Needs the server on 127.0.0.1:3050 (scripts/firebird/start-server.sh) and
// root (the database folders are handed to the firebird user).
#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

#include "db/company_database.h"
#include "db/ib_components.h"
#include "engine/payload.h"
#include "engine/resource_pack.h"
#include "engine/update_common.h"
#include "fixtures/temp_prefix.h"
#include "platform/module_resources.h"
#include "support/registry_access.h"
#include "support/scripted_user.h"
#include "support/text.h"

namespace {

constexpr int kCompanies = 50;
constexpr int kLists = 6;

std::vector<std::unique_ptr<dbtest::CompanyDatabase>> g_databases;

QByteArray ListBytes(int i) {
  return QByteArray("COM:TV2\r\nDES:F:Liste fran\xE7" "aise ") + QByteArray::number(i) +
         "\r\nDES:D:Deutsche Liste\r\nDES:I:Lista italiana\r\n" + QByteArray(2000, 'x') + "\r\n";
}
QString ListName(int i) { return QStringLiteral("Liste%1.lst").arg(i); }

// The update executable carrying "PrintLists.txt" and the six lists.
void CarryLists(const std::string& hostPath) {
  QFile out(QString::fromStdString(hostPath));
  out.open(QIODevice::WriteOnly | QIODevice::Truncate);
  kelvaro::PackedExecutableWriter writer(&out);
  QByteArray base("MZ bench base");
  QBuffer baseDevice(&base);
  baseDevice.open(QIODevice::ReadOnly);
  writer.appendBase(&baseDevice, uint64_t(base.size()));
  QByteArray names;
  for (int i = 0; i < kLists; ++i) {
    names += ListName(i).toLatin1() + "\r\n";
    writer.appendPayload(ListName(i), kelvaro::EncodePayload(ListBytes(i), 0));
  }
  writer.appendPayload(QStringLiteral("PrintLists.txt"), kelvaro::EncodePayload(names, 0));
  writer.finish();
  out.close();
  platform::SetResourceModule(kelvaro::toW(QString::fromStdString(hostPath)));
}

void BM_InstallPrintLists(benchmark::State& state) {
  fixtures::TempPrefix prefix;
  std::string companies;
  for (int i = 0; i < kCompanies; ++i) {
    const QString company = QStringLiteral("Company%1").arg(i);
    // Drive letters run out: the later companies name their database
    // through Z:, which is the host's root.
    if (i < 20) prefix.addDrive(char('D' + i), g_databases[i]->folder().path());
    const QString name = i < 20 ? QStringLiteral("127.0.0.1:%1:\\company.fdb").arg(QChar('D' + i))
                                : QStringLiteral("127.0.0.1:Z:") + g_databases[i]->file().replace('/', '\\');
    kelvaro::WriteRegistryValue(kelvaro::kHkeyLocalMachine, QStringLiteral("SOFTWARE\\KELVARO S.A.\\Torvida\\") + company,
                                QStringLiteral("DatabaseName"), name, kelvaro::RegistryKind::String, true);
    companies += company.toStdString() + "\r\n";
  }
  prefix.writeFile("C:\\Kelvaro\\multiste.txt", companies);
  CarryLists(prefix.root() + "/MajBench");
  kelvaro::ScopedScriptedUser scripted;
  kelvaro::TdmUpdateCommon engine;
  engine.InitLog(&scripted.user);
  engine.SetAppNameType(kelvaro::antTorvida);
  for (auto _ : state) {
    if (engine.InstallPrintLists(QString()) != kelvaro::urtOk) state.SkipWithError("a company was not installed");
  }
  state.counters["s_per_company"] =
      benchmark::Counter(double(state.iterations()) * kCompanies, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_InstallPrintLists)->Unit(benchmark::kSecond)->Iterations(2)->UseRealTime();

void BM_ClientLayerLoop(benchmark::State& state) {
  using namespace kelvaro::db;
  std::vector<QString> texts;
  for (int i = 0; i < kLists; ++i) texts.push_back(kelvaro::fromWindows1252(ListBytes(i).toStdString()));
  for (auto _ : state) {
    for (const auto& db : g_databases) {
      IbDatabase database;
      database.setDatabaseName(QStringLiteral("127.0.0.1:") + db->file());
      database.params() << QStringLiteral("user_name=KELVARO") << QStringLiteral("password=83527146")
                        << QStringLiteral("lc_ctype=ISO8859_1");
      database.open();
      IbTransaction transaction;
      transaction.setDefaultDatabase(&database);
      IbQuery exists, write;
      for (IbQuery* query : {&exists, &write}) {
        query->setDatabase(&database);
        query->setTransaction(&transaction);
      }
      exists.setSql(QStringLiteral("SELECT 'T' FROM RDB$DATABASE WHERE EXISTS (SELECT 'T' FROM PRT_Params WHERE pname = :p0)"));
      for (int i = 0; i < kLists; ++i) {
        const QString key = QStringLiteral("liste%1").arg(i);
        transaction.start();
        exists.setParam(0, key);
        exists.open();
        const bool found = !exists.eof();
        exists.close();
        transaction.commit();
        transaction.start();
        if (found) {
          write.setSql(QStringLiteral("UPDATE PRT_Params SET print_params=:p0 WHERE pname=:p1"));
          write.setParam(0, texts[i]);
          write.setParam(1, key);
        } else {
          write.setSql(QStringLiteral("INSERT INTO PRT_Params(pname, d_text, f_text, i_text, compat, print_params) "
                                      "VALUES (:a, :b, :c, :d, :e, :f)"));
          for (int p = 0; p < 5; ++p) write.setParam(p, key);
          write.setParam(5, texts[i]);
        }
        write.execQuery();
        write.close();
        transaction.commit();
      }
      database.close();
    }
  }
  state.counters["s_per_company"] =
      benchmark::Counter(double(state.iterations()) * kCompanies, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ClientLayerLoop)->Unit(benchmark::kSecond)->Iterations(2)->UseRealTime();

class PerCompanyReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Iteration && !run.error_occurred)
        perCompany[run.benchmark_name()] = run.GetAdjustedRealTime() / kCompanies;
  }
  std::map<std::string, double> perCompany;  // in the benchmark's unit (seconds)
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (!dbtest::ServerReachable()) {
    std::fprintf(stderr, "no Firebird server on 127.0.0.1:3050 (scripts/firebird/start-server.sh)\n");
    return 1;
  }
  for (int i = 0; i < kCompanies; ++i) g_databases.push_back(std::make_unique<dbtest::CompanyDatabase>());
  PerCompanyReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  g_databases.clear();
  const auto engine = reporter.perCompany.find("BM_InstallPrintLists/iterations:2/real_time");
  const auto bare = reporter.perCompany.find("BM_ClientLayerLoop/iterations:2/real_time");
  if (engine == reporter.perCompany.end() || bare == reporter.perCompany.end()) return 1;
  std::printf("six lists per company: engine %.3f s, client-layer loop %.3f s, ratio %.2f\n", engine->second,
              bare->second, engine->second / bare->second);
  return 0;
}

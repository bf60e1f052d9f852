// The Firebird server dies while the print lists of a company are being
// stored: the run ends with the print-list installation's error, the lists
// committed before the death stay whole, the companies after it are left
// alone, nothing crashes; once the server is back, the next run finishes the
// work. The server is one of the test's own, so killing it disturbs no other
// test.
#include <gtest/gtest.h>

#include <QRegularExpression>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>

#include "db/company_database.h"
#include "db/db_connection.h"
#include "engine/engine_fixture.h"
#include "engine/update_common.h"
#include "engine/update_run.h"
#include "fixtures/temp_prefix.h"
#include "reliability/server_death_firebird.h"
#include "support/registry_access.h"
#include "support/scripted_user.h"

// Reports that differ print as text, one entry a line.
inline void PrintTo(const QStringList& report, std::ostream* out) {
  for (const QString& line : report) *out << "\n  [" << line.toStdString() << "]";
}

namespace {

using namespace kelvaro;
using reliability::PrivateFirebird;

const QString kProgramFolder = QStringLiteral("C:\\WKelvaro\\Torvida\\Programs\\");
const QString kListPrefix = QStringLiteral("Les paramètres pour l'impression : \"");

std::string Fixture(const std::string& name) {
  std::ifstream in(std::string(KELVARO_PE_FIXTURES) + "/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A definition as the products write them (Windows-1252, CR LF); stored, its
// text is these bytes exactly.
QByteArray ListFile(const std::string& fTitle, int body) {
  return QByteArray::fromStdString("COM:TV2\r\nDES:F:" + fTitle + "\r\nDES:D:" + fTitle + " (de)\r\nDES:I:" + fTitle +
                                   " (it)\r\nLINE:" + std::to_string(body) + "\r\n");
}

// The carried lists, in the order of "PrintLists.txt": key, F title.
const std::vector<std::pair<QString, std::string>> kLists{
    {QStringLiteral("adresses"), "Liste des adresses"},
    {QStringLiteral("etiquettes"), "Etiquettes"},
    {QStringLiteral("relances"), "Lettres de relance"},
    {QStringLiteral("factures"), "Factures ouvertes"},
};

QString Added(const std::string& title) {
  return kListPrefix + QString::fromStdString(title) + QStringLiteral("\" ont été ajoutés.");
}
QString Updated(const QString& key) { return kListPrefix + key + QStringLiteral("\" ont été mise à jour."); }
QString Heading(const QString& company) { return QStringLiteral("\r\nMise à jour de listes pour la société ") + company; }
QStringList Copies() {
  QStringList lines;
  for (const char* name : {"WKTorvida2.dll", "IBANKernel.dll", "Torvida.chm", "ssleay32.dll", "libeay32.dll"})
    lines << QStringLiteral("Copie de <temp>") << QStringLiteral("vers ") + kProgramFolder + QLatin1String(name) + QStringLiteral("\r\n");
  return lines;
}
const QString kTitle = QStringLiteral("Mise à jour : Mise à jour Torvida  <date>\r\n");

// The report's entries with the date and the temporary file names made
// constant.
QStringList Normalised(QStringList report) {
  for (QString& line : report) {
    line.replace(QRegularExpression(QStringLiteral("\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d")), QStringLiteral("<date>"));
    line.replace(QRegularExpression(QStringLiteral("C:\\\\users\\\\[^\\\\]+\\\\Temp\\\\Update\\d+\\.tmp")), QStringLiteral("<temp>"));
  }
  return report;
}

// The scripted user whose report, on showing the n-th stored list of the
// run, has the server killed: the death lands between two lists of one
// company, after a commit and before the next statement, every time.
class KillingUser : public ScriptedUser {
 public:
  int killAfterList = 0;
  std::function<void()> kill;

  void AppendLine(const QString& line, int fontSize, const QString& fontName) override {
    ScriptedUser::AppendLine(line, fontSize, fontName);
    if (line.startsWith(kListPrefix) && ++stored_ == killAfterList && kill) kill();
  }

 private:
  int stored_ = 0;
};

// One company database on the private server.
struct Company {
  QString name;
  std::unique_ptr<dbtest::FirebirdFolder> folder;
  std::string file() const { return folder->path() + "/company.fdb"; }
};

class ServerDeathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    enginetest::EnsureApplication();
    unsetenv("SSH_CONNECTION");  // a console session, not a remote one
    try {
      server = std::make_unique<PrivateFirebird>();
      server->Start();
    } catch (const std::exception& error) {
      server.reset();
      if (dbtest::ServerRequired())
        FAIL() << "KELVARO_REQUIRE_FIREBIRD is set but no private Firebird server could be started: " << error.what();
      GTEST_SKIP() << "no private Firebird server: " << error.what()
                   << " (KELVARO_REQUIRE_FIREBIRD=1 makes this a failure)";
    }
    SetUser(&user);
  }
  void TearDown() override {
    engine.reset();
    SetUser(nullptr);
    platform::SetResourceModule(
        toW(QString::fromStdString(std::filesystem::read_symlink("/proc/self/exe").string())));
  }

  // A company whose database lives on the private server and is named in
  // the registry through a drive of the prefix, with the server's port.
  Company& company(const QString& name) {
    Company& added = companies.emplace_back(Company{name, std::make_unique<dbtest::FirebirdFolder>()});
    server->CreateCompanyDatabase(added.file());
    const char letter = nextDrive++;
    prefix.addDrive(letter, added.folder->path());
    EXPECT_TRUE(WriteRegistryValue(kHkeyLocalMachine, QStringLiteral("SOFTWARE\\KELVARO S.A.\\Torvida\\") + name,
                                   QStringLiteral("DatabaseName"),
                                   server->server() + QLatin1Char(':') + QLatin1Char(letter) + QStringLiteral(":\\company.fdb"),
                                   RegistryKind::String, true));
    return added;
  }

  void installTorvida() {
    prefix.writeFile((kProgramFolder + QStringLiteral("WKTorvida2.dll")).toStdString(), Fixture("torvida_1_2_3_9.dll"));
    ASSERT_TRUE(WriteRegistryValue(kHkeyCurrentUser, QStringLiteral("SOFTWARE\\KELVARO S.A.\\Torvida\\Program"),
                                   QStringLiteral("Filename"), kProgramFolder + QStringLiteral("WKTorvida2.dll"),
                                   RegistryKind::String, true));
  }
  void carryTorvidaUpdate() {
    std::map<QString, QByteArray> files{{QStringLiteral("WKTorvida2.dll"), QByteArray::fromStdString(Fixture("torvida_2_0_0_0.dll"))}};
    for (const char* companion : {"IBANKernel.dll", "Torvida.chm", "ssleay32.dll", "libeay32.dll"})
      files[QLatin1String(companion)] = QByteArray("carried ") + companion;
    QByteArray names;
    int body = 0;
    for (const auto& [key, title] : kLists) {
      names += key.toLatin1() + ".lst\r\n";
      files[key + QStringLiteral(".lst")] = ListFile(title, ++body);
    }
    files[QStringLiteral("PrintLists.txt")] = names;
    enginetest::CarryFiles(prefix.root() + "/MajTorvida", files);
  }

  // A run as the wizard makes it, on a fresh engine (a new start of the
  // program), which reads the company list as it is now.
  RunUpdateOutcome run() {
    engine.reset();
    user.report.clear();
    user.shown.clear();
    engine = std::make_unique<TdmUpdateCommon>();
    engine->InitLog(&user);
    return RunUpdate(*engine, {QStringLiteral("Torvida")}, QStringLiteral("Mise à jour Torvida"));
  }

  // key = F title, text, of every stored list, by key.
  QStringList stored(const Company& company) const {
    QStringList result;
    for (const QVariantList& row :
         server->Rows(company.file(), QStringLiteral("SELECT pname, f_text, print_params FROM PRT_Params ORDER BY pname")))
      result << row[0].toString() + QLatin1Char('=') + row[1].toString() + QLatin1Char('|') + row[2].toString();
    return result;
  }
  // The same as stored() expects it for the carried lists of keys.
  static QStringList carried(const QStringList& keys) {
    QStringList result;
    int body = 0;
    for (const auto& [key, title] : kLists) {
      ++body;
      if (keys.contains(key))
        result << key + QLatin1Char('=') + QString::fromStdString(title) + QLatin1Char('|') +
                      QString::fromLatin1(ListFile(title, body));
    }
    result.sort();
    return result;
  }

  fixtures::TempPrefix prefix;
  std::deque<Company> companies;  // references stay valid as companies are added
  std::unique_ptr<PrivateFirebird> server;
  KillingUser user;
  std::unique_ptr<TdmUpdateCommon> engine;
  char nextDrive = 'D';
};

TEST_F(ServerDeathTest, KilledMidCompanyKeepsCommittedListsAndTheNextRunFinishes) {
  installTorvida();
  carryTorvidaUpdate();
  Company& alpha = company(QStringLiteral("Alpha"));
  Company& beta = company(QStringLiteral("Beta"));
  prefix.writeFile("C:\\Kelvaro\\multiste.txt", "Alpha\r\nBeta\r\n");
  user.killAfterList = 2;
  user.kill = [this] { server->Kill(); };

  const RunUpdateOutcome killed = run();

  ASSERT_FALSE(server->running()) << "the run never reached the second list";
  EXPECT_EQ(killed.result, urtKo);
  EXPECT_FALSE(killed.failed) << "the routine's own handler reports the error, not the wizard's";
  const QStringList killedReport =
      QStringList{kTitle} + Copies() +
      QStringList{Heading(QStringLiteral("Alpha")), Added("Liste des adresses"), Added("Etiquettes"),
                  QStringLiteral("Une erreur s'est produite lors de la mise à jour du \r\nCannot import resource files"),
                  QStringLiteral("\r\nLa mise à jour a échouée !")};
  EXPECT_EQ(Normalised(user.report), killedReport);
  EXPECT_TRUE(user.shown.empty()) << user.shown.front().text.toStdString();
  EXPECT_FALSE(engine->dbConnection().Connected());

  server->Start();
  EXPECT_EQ(stored(alpha), carried({QStringLiteral("adresses"), QStringLiteral("etiquettes")}))
      << "the lists committed before the death are there, whole";
  EXPECT_EQ(stored(beta), QStringList()) << "the company after the death was not touched";

  // The library is the carried one now: the user is asked and goes on.
  user.killAfterList = 0;
  user.answers = {true};
  const RunUpdateOutcome next = run();

  EXPECT_EQ(next.result, urtOk);
  const QStringList nextReport =
      QStringList{kTitle} + Copies() +
      QStringList{Heading(QStringLiteral("Alpha")), Updated(QStringLiteral("adresses")),
                  Updated(QStringLiteral("etiquettes")), Added("Lettres de relance"), Added("Factures ouvertes"),
                  Heading(QStringLiteral("Beta")), Added("Liste des adresses"), Added("Etiquettes"),
                  Added("Lettres de relance"), Added("Factures ouvertes"),
                  QStringLiteral("\r\nLa mise à jour est terminée avec succès.")};
  EXPECT_EQ(Normalised(user.report), nextReport);
  const QStringList all{QStringLiteral("adresses"), QStringLiteral("etiquettes"), QStringLiteral("relances"),
                        QStringLiteral("factures")};
  EXPECT_EQ(stored(alpha), carried(all));
  EXPECT_EQ(stored(beta), carried(all));
}

}  // namespace

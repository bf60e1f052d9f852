// The carried print lists installed into every company's database: the
// report lines, the outcomes, the companies that cannot be reached, the
// product that keeps its lists as files, and bad definitions.
#include "db/db_connection.h"
#include "fixtures/unreadable_file.h"
#include "installation_fixture.h"
#include "support/errors.h"

namespace {

using namespace kelvaro;
using installtest::ListFile;

const QString kHeading = QStringLiteral("\r\nMise à jour de listes pour la société ");
QString Added(const QString& title) { return QStringLiteral("Les paramètres pour l'impression : \"") + title + QStringLiteral("\" ont été ajoutés."); }
QString Updated(const QString& key) { return QStringLiteral("Les paramètres pour l'impression : \"") + key + QStringLiteral("\" ont été mise à jour."); }
QString Failure(const QString& company) {
  return QStringLiteral("Echec de connexion a la société %1, mise à jour des listes non effectuée.").arg(company);
}

class PrintListsTest : public installtest::InstallationTest {
 protected:
  // Two lists in the order of "PrintLists.txt", one with a capital extension,
  // plus names the databases ignore.
  std::map<QString, QByteArray> twoLists() {
    return {{QStringLiteral("PrintLists.txt"), "Adresses.lst\r\nEtiquettes.LST\r\nAide.txt\r\nAbsente.lst\r\n"},
            {QStringLiteral("Adresses.lst"), ListFile("TV2", "Liste des adresses")},
            {QStringLiteral("Etiquettes.LST"), ListFile("TV2", "Etiquettes \xE9l\xE8ves")},
            {QStringLiteral("Aide.txt"), "DES:F:never stored\r\n"}};
  }
  static QStringList keys(const dbtest::CompanyDatabase& db) {
    QStringList result;
    for (const QVariantList& row : storedLists(db)) result << row[0].toString();
    return result;
  }
};

TEST_F(PrintListsTest, FirstRunAddsWithTitlesSecondRunUpdatesWithKeys) {
  dbtest::CompanyDatabase alpha, beta;
  torvidaCompany("Alpha", alpha);
  torvidaCompany("Soci\\xe9t\\xe9 'Lumi\\xe8re' \"SA\"", beta);  // accents and quotes in the name
  companies("Alpha\r\nSoci\xE9t\xE9 'Lumi\xE8re' \"SA\"\r\n");
  start();
  carry(twoLists());
  const QString betaName = QStringLiteral("Société 'Lumière' \"SA\"");

  EXPECT_EQ(engine->InstallPrintLists(QString()), urtOk);
  EXPECT_EQ(report(), (QStringList{kHeading + QStringLiteral("Alpha"), Added(QStringLiteral("Liste des adresses")),
                                   Added(QStringLiteral("Etiquettes élèves")), kHeading + betaName,
                                   Added(QStringLiteral("Liste des adresses")), Added(QStringLiteral("Etiquettes élèves"))}));
  for (const auto* db : {&alpha, &beta}) EXPECT_EQ(keys(*db), (QStringList{"adresses", "etiquettes"}));
  EXPECT_FALSE(engine->dbConnection().Connected());

  report().clear();
  EXPECT_EQ(engine->InstallPrintLists(QString()), urtOk);
  EXPECT_EQ(report(), (QStringList{kHeading + QStringLiteral("Alpha"), Updated(QStringLiteral("adresses")),
                                   Updated(QStringLiteral("etiquettes")), kHeading + betaName,
                                   Updated(QStringLiteral("adresses")), Updated(QStringLiteral("etiquettes"))}));
  EXPECT_EQ(keys(alpha), (QStringList{"adresses", "etiquettes"}));
}

TEST_F(PrintListsTest, CompaniesThatCannotBeReachedAreReportedAndTheOthersInstalled) {
  // The free-space query fails in the first company's database, the disk of
  // the second is full, the third has no database: each is reported, none
  // keeps a connection open for the next, and the last one is installed.
  dbtest::CompanyDatabase noFunction, fullDisk, good;
  noFunction.exec({QStringLiteral("DROP FUNCTION GetFreeDiskSpace")});
  fullDisk.setFreeSpace(1000);
  torvidaCompany("NoFunction", noFunction);
  torvidaCompany("FullDisk", fullDisk);
  torvidaCompany("Good", good);
  companies("NoFunction\r\nFullDisk\r\nNowhere\r\nGood\r\n");
  start();
  carry(twoLists());

  EXPECT_EQ(engine->InstallPrintLists(QString()), urtWarning);
  EXPECT_EQ(report(), (QStringList{kHeading + QStringLiteral("NoFunction"), Failure(QStringLiteral("NoFunction")),
                                   kHeading + QStringLiteral("FullDisk"), Failure(QStringLiteral("FullDisk")),
                                   kHeading + QStringLiteral("Nowhere"), Failure(QStringLiteral("Nowhere")),
                                   kHeading + QStringLiteral("Good"), Added(QStringLiteral("Liste des adresses")),
                                   Added(QStringLiteral("Etiquettes élèves"))}));
  EXPECT_TRUE(keys(noFunction).isEmpty());
  EXPECT_TRUE(keys(fullDisk).isEmpty());
  EXPECT_EQ(keys(good), (QStringList{"adresses", "etiquettes"}));
  bool freeSpaceBox = false;
  for (const auto& shown : scripted.user.shown) freeSpaceBox |= shown.text.contains(QStringLiteral("disque"));
  EXPECT_TRUE(freeSpaceBox) << "the free-space message box is still shown";
}

TEST_F(PrintListsTest, DefaultCompanyAndEmptyLines) {
  dbtest::CompanyDatabase paths, alpha;
  registryValue("Torvida", "Paths", "DatabaseName", reach(paths));
  torvidaCompany("Alpha", alpha);
  carry(twoLists());
  const struct {
    const char* what;
    const char* multiste;  // nullptr: no file
    QStringList headings;
  } cases[] = {
      {"no company file", nullptr, {QStringLiteral("Default")}},
      {"an empty line after Alpha", "Alpha\r\n\r\n", {QStringLiteral("Alpha"), QStringLiteral("Default")}},
  };
  for (const auto& c : cases) {
    if (c.multiste) companies(c.multiste);
    start();
    carry(twoLists());
    report().clear();
    EXPECT_EQ(engine->InstallPrintLists(QString()), urtOk) << c.what;
    QStringList headings;
    for (const QString& line : report())
      if (line.startsWith(kHeading)) headings << line.mid(kHeading.size());
    EXPECT_EQ(headings, c.headings) << c.what;
    EXPECT_EQ(keys(paths), (QStringList{"adresses", "etiquettes"})) << c.what;
  }
}

// A company file that cannot be read is not an empty list: no list goes into
// the default company in its place, and the report says why.
TEST_F(PrintListsTest, UnreadableCompanyFileInstallsNothing) {
  dbtest::CompanyDatabase paths, alpha;
  registryValue("Torvida", "Paths", "DatabaseName", reach(paths));
  torvidaCompany("Alpha", alpha);
  companies("Alpha\r\n");
  {
    fixtures::UnreadableFile locked(prefix.hostPath("C:\\Kelvaro\\multiste.txt"));
    ASSERT_TRUE(locked.refused());
    start();
  }
  carry(twoLists());
  ASSERT_EQ(scripted.user.shown.size(), 1u);
  const QString readError = scripted.user.shown[0].text;
  EXPECT_TRUE(readError.startsWith(QStringLiteral("Impossible d'ouvrir le fichier C:\\kelvaro\\multiste.txt")));
  EXPECT_EQ(engine->InstallPrintLists(QString()), urtWarning);
  EXPECT_EQ(report(), QStringList{QStringLiteral("\r\n") + readError});
  EXPECT_TRUE(keys(paths).isEmpty());
  EXPECT_TRUE(keys(alpha).isEmpty());
}

TEST_F(PrintListsTest, DefaultCompanyWithoutDatabase) {
  start();
  carry(twoLists());
  EXPECT_EQ(engine->InstallPrintLists(QString()), urtWarning);
  EXPECT_EQ(report(), (QStringList{kHeading + QStringLiteral("Default"), Failure(QStringLiteral("Default"))}));
}

TEST_F(PrintListsTest, NothingToDo) {
  const struct {
    const char* what;
    TAppNameType product;
    std::map<QString, QByteArray> files;
  } cases[] = {
      {"a product without print lists", antPastrel, twoLists()},
      {"no PrintLists.txt", antTorvida, {{QStringLiteral("Adresses.lst"), ListFile("TV2", "x")}}},
      {"an empty PrintLists.txt", antTorvida, {{QStringLiteral("PrintLists.txt"), ""}}},
  };
  for (const auto& c : cases) {
    start(c.product);
    carry(c.files);
    report().clear();
    EXPECT_EQ(engine->InstallPrintLists(QString()), urtOk) << c.what;
    EXPECT_TRUE(report().isEmpty()) << c.what;
  }
}

TEST_F(PrintListsTest, BrevaniWritesTheCarriedFilesOnly) {
  prefix.makeDirectory("C:\\WKelvaro\\Brevani\\Programs");
  start(antBrevani);
  carry({{QStringLiteral("PrintLists.txt"), "Adresses.lst\r\nAbsente.lst\r\nAide.txt\r\n"},
         {QStringLiteral("Adresses.lst"), ListFile("BR", "Adresses")},
         {QStringLiteral("Aide.txt"), "aide"}});
  EXPECT_EQ(engine->InstallPrintLists(QStringLiteral("C:\\WKelvaro\\Brevani\\Programs")), urtOk);
  EXPECT_EQ(report(), (QStringList{Updated(QStringLiteral("Adresses.lst")), Updated(QStringLiteral("Aide.txt")), QString()}));
  EXPECT_EQ(prefix.readFile("C:\\WKelvaro\\Brevani\\Programs\\Adresses.lst"), ListFile("BR", "Adresses").toStdString());
  EXPECT_EQ(prefix.readFile("C:\\WKelvaro\\Brevani\\Programs\\Aide.txt"), "aide");
  EXPECT_FALSE(std::filesystem::exists(prefix.hostPath("C:\\WKelvaro\\Brevani\\Programs\\Absente.lst")));
  EXPECT_FALSE(engine->dbConnection().Connected());
}

TEST_F(PrintListsTest, BadDefinitions) {
  // Lists that store (an empty one stores nothing, one without a header
  // takes its key as titles, undefined Windows-1252 bytes keep their code),
  // then one whose title does not fit: the installation ends there, the
  // lists stored before stay, nothing of the failing one is stored and the
  // next company is not touched.
  dbtest::CompanyDatabase alpha, beta;
  torvidaCompany("Alpha", alpha);
  torvidaCompany("Beta", beta);
  companies("Alpha\r\nBeta\r\n");
  start();
  carry({{QStringLiteral("PrintLists.txt"), "Vide.lst\r\nSansEntete.lst\r\nOctets.lst\r\nLongue.lst\r\nApres.lst\r\n"},
         {QStringLiteral("Vide.lst"), ""},
         {QStringLiteral("SansEntete.lst"), "LINE:1\r\nLINE:2"},
         {QStringLiteral("Octets.lst"), QByteArray("DES:F:a\x81\x8D\x90 b\r\nX\0hidden", 22)},
         {QStringLiteral("Longue.lst"), ListFile("TV2", std::string(91, 'x'))},
         {QStringLiteral("Apres.lst"), ListFile("TV2", "Apres")}});
  try {
    engine->InstallPrintLists(QString());
    ADD_FAILURE() << "a title longer than its column is stored";
  } catch (const Error& error) {
    EXPECT_EQ(error.message(), QStringLiteral("Cannot import resource files"));
  }
  EXPECT_EQ(report(), (QStringList{kHeading + QStringLiteral("Alpha"), Added(QStringLiteral("sansentete")),
                                   Added(QString::fromUtf16(u"a\u0081\u008D\u0090 b"))}));
  const auto rows = storedLists(alpha);
  ASSERT_EQ(rows.size(), 2);
  EXPECT_EQ(rows[0][0].toString(), QStringLiteral("octets"));
  EXPECT_EQ(rows[0][5].toString(), QString::fromUtf16(u"DES:F:a\u0081\u008D\u0090 b\r\nX\r\n")) << "the text ends at NUL";
  EXPECT_EQ(rows[1][0].toString(), QStringLiteral("sansentete"));
  EXPECT_EQ(rows[1][2].toString(), QStringLiteral("sansentete"));
  EXPECT_EQ(rows[1][5].toString(), QStringLiteral("LINE:1\r\nLINE:2\r\n"));
  EXPECT_TRUE(keys(beta).isEmpty());
  EXPECT_FALSE(engine->dbConnection().Connected());
  EXPECT_EQ(engine->dbConnection().GlobalTransaction->tag, 0);
}

}  // namespace

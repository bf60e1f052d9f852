// Finding a company's database in the registry and opening it as the
// updater does: the registry layouts, the loopback prefix, the identities
// tried per product, and the connection closed after a failed attempt.
#include "db/db_connection.h"
#include "installation_fixture.h"

namespace {

using namespace kelvaro;

class CompanyConnectionTest : public installtest::InstallationTest {};

TEST_F(CompanyConnectionTest, DatabaseNameLayouts) {
  registryValue("Sorbano", "Alpha\\WKS_DatabaseName", "Path", QStringLiteral("srv:/a.fdb"));
  registryValue("Sorbano", "Paths\\WKS_DatabaseName", "Path", QStringLiteral("srv:/paths.fdb"));
  registryValue("Torvida", "Paths", "DatabaseName", QStringLiteral("srv:/torvida-paths.fdb"));
  registryValue("Torvida", "Beta", "DatabaseName", QStringLiteral("srv:/beta.fdb"));
  registryValue("Nimbaro", "Default", "ConnectionString", QStringLiteral("srv:/nimbaro.fdb"));
  registryValue("Nimbaro", "Paths", "ConnectionString", QStringLiteral("srv:/never.fdb"));
  registryValue("Pastrel", "Alpha", "DatabaseName", QStringLiteral("srv:/never.fdb"));
  start();
  const struct {
    const char* product;
    const char* company;
    const char* expected;
  } cases[] = {
      {"Sorbano", "Alpha", "srv:/a.fdb"},
      {"Sorbano", "Default", "srv:/paths.fdb"},
      {"Sorbano", "DEFAULT", "srv:/paths.fdb"},
      {"Sorbano", "Gamma", ""},  // a named company never falls back
      {"Torvida", "Beta", "srv:/beta.fdb"},
      {"Torvida", "Default", "srv:/torvida-paths.fdb"},
      {"Torvida", "Alpha", ""},
      {"Nimbaro", "Default", "srv:/nimbaro.fdb"},
      {"Nimbaro", "Other", ""},  // no "Paths" look-up for this row
      {"Pastrel", "Alpha", ""},  // a row without a layout
  };
  for (const auto& c : cases) {
    EXPECT_EQ(engine->GetCompanyDatabaseName(QString::fromLatin1(c.product), QString::fromLatin1(c.company)),
              QString::fromLatin1(c.expected))
        << c.product << " / " << c.company;
  }
}

TEST_F(CompanyConnectionTest, LoopbackPrefixOnlyOnVistaTo8AndOnlyForDriveLetters) {
  const struct {
    const char* version;
    const char* name;
    const char* expected;
  } cases[] = {
      {"6.1", "C:\\Data\\a.fdb", "127.0.0.1:C:\\Data\\a.fdb"},
      {"6.0", "d:\\a.fdb", "127.0.0.1:d:\\a.fdb"},
      {"6.2", "x:/a.fdb", "127.0.0.1:x:/a.fdb"},  // a one-letter server counts as a drive
      {"6.1", "srv:C:\\a.fdb", "srv:C:\\a.fdb"},
      {"6.1", "C", "C"},
      {"6.1", "1:\\a.fdb", "1:\\a.fdb"},
      {"5.1", "C:\\Data\\a.fdb", "C:\\Data\\a.fdb"},
      {"6.3", "C:\\Data\\a.fdb", "C:\\Data\\a.fdb"},
  };
  for (const auto& c : cases) {
    fixtures::TempPrefix own;
    own.appendSystemReg("\n[Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion] 1796862791\n" + installtest::VersionValues(c.version));
    TdmUpdateCommon engineOnVersion;
    EXPECT_EQ(engineOnVersion.AddLocalServerPrefix(QString::fromLatin1(c.name)), QString::fromLatin1(c.expected))
        << c.version << " " << c.name;
  }
}

TEST_F(CompanyConnectionTest, DefaultCompanyOnVersion61GoesThroughTheLoopback) {
  // The database as a Windows path on the prefix's Z: drive: on Windows 7
  // the name gets "127.0.0.1:" and is opened through the server.
  dbtest::CompanyDatabase db;
  windowsVersion("6.1");
  registryValue("Torvida", "Paths", "DatabaseName", QStringLiteral("Z:") + db.file().replace(QLatin1Char('/'), QLatin1Char('\\')));
  start();
  EXPECT_TRUE(engine->GetCompanyDatabaseName(QStringLiteral("Torvida"), QStringLiteral("Default")).startsWith(QStringLiteral("127.0.0.1:Z:\\")));
  ASSERT_TRUE(engine->Connect(QString()));
  EXPECT_TRUE(engine->dbConnection().Connected());
  EXPECT_TRUE(engine->Disconnect());
  EXPECT_FALSE(engine->dbConnection().Connected());
}

TEST_F(CompanyConnectionTest, IdentitiesTriedPerProduct) {
  dbtest::CompanyDatabase pro, dx, torvida;
  pro.setControlRow(2, QStringLiteral("WKS_PRO"));
  dx.setControlRow(2, QStringLiteral("WKS_DX"));
  registryValue("Sorbano", "Pro\\WKS_DatabaseName", "Path", reach(pro));
  registryValue("Sorbano", "Dx\\WKS_DatabaseName", "Path", reach(dx));
  registryValue("Sorbano", "Torvida\\WKS_DatabaseName", "Path", reach(torvida));
  registryValue("Torvida", "Pro", "DatabaseName", reach(pro));
  registryValue("Torvida", "Torvida", "DatabaseName", reach(torvida));
  registryValue("Pastrel", "Torvida", "DatabaseName", reach(torvida));
  const struct {
    TAppNameType product;
    const char* company;
    bool connects;
  } cases[] = {
      {antWKS, "Pro", true},
      {antWKS, "Dx", true},  // the second attempt
      {antWKS, "Torvida", false},
      {antTorvida, "Torvida", true},
      {antTorvida, "Pro", false},  // another product's database is refused
      {antPastrel, "Torvida", false},
      {antBrevani, "Torvida", false},
  };
  start();
  for (const auto& c : cases) {
    engine->SetAppNameType(c.product);
    EXPECT_EQ(engine->Connect(QString::fromLatin1(c.company)), c.connects) << int(c.product) << " " << c.company;
    EXPECT_EQ(engine->dbConnection().Connected(), c.connects) << "a refused database is closed again";
    engine->Disconnect();
  }
}

TEST_F(CompanyConnectionTest, AnOpenConnectionAnswersForAnyCompany) {
  dbtest::CompanyDatabase db;
  torvidaCompany("Alpha", db);
  start();
  ASSERT_TRUE(engine->Connect(QStringLiteral("Alpha")));
  EXPECT_TRUE(engine->Connect(QStringLiteral("Nobody")));
  engine->Disconnect();
  EXPECT_FALSE(engine->Connect(QStringLiteral("Nobody")));
}

TEST_F(CompanyConnectionTest, AFailedAttemptLeavesNoConnectionOpen) {
  // Each of these refusals used to leave the database open (or, for a full
  // disk, let Connect answer true on a closed one).
  dbtest::CompanyDatabase noFunction, fullDisk;
  noFunction.exec({QStringLiteral("DROP FUNCTION GetFreeDiskSpace")});
  fullDisk.setFreeSpace(1000);
  torvidaCompany("NoFunction", noFunction);
  torvidaCompany("FullDisk", fullDisk);
  start();
  for (const char* company : {"NoFunction", "FullDisk"}) {
    scripted.user.shown.clear();
    EXPECT_FALSE(engine->Connect(QString::fromLatin1(company))) << company;
    EXPECT_FALSE(engine->dbConnection().Connected()) << company;
    EXPECT_FALSE(scripted.user.waitCursor) << company;
  }
  EXPECT_FALSE(scripted.user.shown.empty()) << "the free-space box is still shown";
}

}  // namespace

// kelvaro-inspect without arguments names each company's database as the
// updater would connect to it.
#include "e2e_fixture.h"

#if defined(KELVARO_INSPECT)

namespace {

class InspectCompaniesTest : public e2e::UpdateRunTest {};

TEST_F(InspectCompaniesTest, ListsTheDatabaseOfEveryCompany) {
  installTorvida("torvida_1_2_3_9.dll");
  registerName(QStringLiteral("Alpha"), QStringLiteral("srv:C:\\Data\\alpha.fdb"));
  registerName(QStringLiteral("Paths"), QStringLiteral("srv:C:\\Data\\default.fdb"));
  companies("Alpha\r\nBeta\r\n\r\n");
  QProcess inspect;
  inspect.start(QStringLiteral(KELVARO_INSPECT), {});
  ASSERT_TRUE(inspect.waitForFinished(60000));
  const QString out = QString::fromUtf8(inspect.readAllStandardOutput());
  EXPECT_TRUE(out.contains(QStringLiteral("Database Torvida\tAlpha\tsrv:C:\\Data\\alpha.fdb\n"
                                          "Database Torvida\tBeta\t(aucune)\n"
                                          "Database Torvida\tDefault\tsrv:C:\\Data\\default.fdb\n")))
      << out.toStdString();
  EXPECT_FALSE(out.contains(QStringLiteral("Database Nimbaro"))) << "a product not installed is not listed";
}

}  // namespace

#endif

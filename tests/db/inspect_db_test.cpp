// kelvaro-inspect db, run as a program against a real company database.
#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

#include "company_database.h"
#include "fixtures/temp_prefix.h"
#include "fixtures/tool_run.h"

namespace {

using fixtures::ToolRun;

class InspectDbTest : public testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_FIREBIRD_SERVER();
    company_ = std::make_unique<dbtest::CompanyDatabase>();
    prefix_.addDrive('D', company_->folder().path());
  }

  ToolRun Inspect(const QStringList& args) const {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("WINEPREFIX"), QString::fromStdString(prefix_.root()));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(KELVARO_INSPECT), QStringList{QStringLiteral("db")} + args);
    return fixtures::FinishTool(process);
  }

  fixtures::TempPrefix prefix_;
  std::unique_ptr<dbtest::CompanyDatabase> company_;
};

TEST_F(InspectDbTest, TellsWhatTheUpdaterSees) {
  const QString connection = QStringLiteral("127.0.0.1:D:\\company.fdb");
  struct Case {
    const char* what;
    qint64 freeSpace;
    QString identifier;
    int exitCode;
    QStringList outLines;
    QString err;
  };
  const Case cases[] = {
      {"accepted", 10000000000, QStringLiteral("WK_Torvida"), 0,
       {QStringLiteral("Connected"), QStringLiteral("Server version: LI-V3.0."), QStringLiteral("ServerType: Firebird30 (4)"),
        QStringLiteral("Free space: 10000 Mb")},
       QString()},
      {"other identifier", 10000000000, QStringLiteral("WKS_PRO"), 1, {},
       QStringLiteral("La base de données n'est pas compatible avec le programme!\n\nDatabase : WK_Torvida\nVersion : 2\n")},
      {"critical free space", 1000000, QStringLiteral("WK_Torvida"), 1, {},
       QStringLiteral("error: Il n'y a plus assez de place sur le disque de la base de données!\n1 Mb\n")},
  };
  for (const Case& c : cases) {
    company_->setFreeSpace(c.freeSpace);
    const ToolRun run = Inspect({connection, c.identifier, QStringLiteral("2")});
    EXPECT_EQ(run.exitCode, c.exitCode) << c.what << ": " << run.err.toStdString();
    for (const QString& line : c.outLines) EXPECT_TRUE(run.out.contains(line)) << c.what << ": " << run.out.toStdString();
    if (c.outLines.isEmpty()) {
      EXPECT_TRUE(run.out.isEmpty()) << c.what << ": " << run.out.toStdString();
    }
    EXPECT_EQ(run.err, c.err) << c.what;
  }
  // The inspection leaves no presence row behind.
  EXPECT_EQ(company_->rows(QStringLiteral("SELECT COUNT(*) FROM Users"))[0][0].toLongLong(), 0);
  EXPECT_EQ(Inspect({connection, QStringLiteral("WK_Torvida")}).exitCode, 2);
}

}  // namespace

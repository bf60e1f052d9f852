// kelvaro-inspect reg add and query as support staff use them, the tool run
// as its own process over a fixture prefix: a change to a prefix that is not
// the caller's is refused with the reason, reading it stays allowed.
#include <gtest/gtest.h>

#include <QProcess>
#include <fstream>
#include <string>

#include "fixtures/temp_prefix.h"
#include "fixtures/test_user.h"

#if defined(KELVARO_INSPECT)

namespace {

struct ToolRun {
  int exitCode = -1;
  QString out;
  QString err;
};

ToolRun Inspect(const QStringList& args) {
  QProcess tool;
  tool.start(QStringLiteral(KELVARO_INSPECT), args);
  EXPECT_TRUE(tool.waitForFinished(60000));
  ToolRun run;
  run.exitCode = tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
  run.out = QString::fromUtf8(tool.readAllStandardOutput());
  run.err = QString::fromUtf8(tool.readAllStandardError());
  return run;
}

std::string HostFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

const QString kKey = QStringLiteral("HKCU\\Software\\KELVARO S.A.\\Torvida\\Program");

QStringList AddFilename(const QString& data) {
  return {QStringLiteral("reg"), QStringLiteral("add"), kKey, QStringLiteral("/v"), QStringLiteral("Filename"),
          QStringLiteral("/d"), data, QStringLiteral("/f")};
}

const QStringList kQueryFilename = {QStringLiteral("reg"), QStringLiteral("query"), kKey, QStringLiteral("/v"),
                                    QStringLiteral("Filename")};

TEST(InspectReg, APrefixOfAnotherUserIsReadButNotChanged) {
  fixtures::TestUser owner;
  if (!owner.available()) GTEST_SKIP() << owner.whyNot();
  fixtures::TempPrefix prefix;
  ASSERT_EQ(Inspect(AddFilename(QStringLiteral("C:\\avant.dll"))).exitCode, 0);
  ASSERT_TRUE(owner.giveTree(prefix.root()));
  const std::string before = HostFile(prefix.root() + "/user.reg");

  const ToolRun refused = Inspect(AddFilename(QStringLiteral("C:\\après.dll")));
  EXPECT_EQ(refused.exitCode, 5);
  EXPECT_EQ(refused.err, QStringLiteral("ERREUR : Le préfixe %1 appartient à l'utilisateur %2 : lancez ce programme "
                                        "sous son compte. Rien n'a été modifié.\n")
                             .arg(QString::fromStdString(prefix.root()), QString::fromStdString(owner.name())));
  EXPECT_EQ(refused.out, QString());
  EXPECT_EQ(HostFile(prefix.root() + "/user.reg"), before);

  const ToolRun query = Inspect(kQueryFilename);
  EXPECT_EQ(query.exitCode, 0);
  EXPECT_TRUE(query.out.contains(QStringLiteral("Filename    REG_SZ    C:\\avant.dll"))) << query.out.toStdString();
}

}  // namespace

#endif

// kelvaro-inspect reg add and query as support staff use them, the tool run
// as its own process over a fixture prefix: a refused change says why (a
// prefix of another user, a read-only registry file, a running Wine that
// cannot take it), reading stays allowed, and the overview shows whether a
// wineserver owns the prefix.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <string>

#include "fixtures/fake_wineserver.h"
#include "fixtures/temp_prefix.h"
#include "fixtures/test_user.h"
#include "fixtures/tool_run.h"

#if defined(KELVARO_INSPECT)

namespace {

using fixtures::ToolRun;

ToolRun Inspect(const QStringList& args) { return fixtures::RunTool(QStringLiteral(KELVARO_INSPECT), args); }

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

TEST(InspectReg, ARefusedChangeSaysWhy) {
  fixtures::TempPrefix prefix;
  const std::string userReg = prefix.root() + "/user.reg";
  ASSERT_EQ(chmod(userReg.c_str(), 0444), 0);
  const ToolRun readOnly = Inspect(AddFilename(QStringLiteral("C:\\x.dll")));
  EXPECT_EQ(readOnly.exitCode, 1);
  EXPECT_EQ(readOnly.err, QStringLiteral("ERREUR : Accès refusé. Le fichier de registre ou le dossier du préfixe n'est "
                                         "pas modifiable par cet utilisateur.\n"));
  ASSERT_EQ(chmod(userReg.c_str(), 0644), 0);

  // A server that stays, and no Wine to hand the change to.
  fixtures::FakeWineserver server(prefix.root());
  ASSERT_TRUE(server.locked());
  const ToolRun besideWine = [] {
    fixtures::WithoutWine noWine;
    return Inspect(AddFilename(QStringLiteral("C:\\x.dll")));
  }();
  EXPECT_EQ(besideWine.exitCode, 1);
  EXPECT_EQ(besideWine.err,
            QStringLiteral("Wine est en cours d'exécution dans ce préfixe : attente de son arrêt avant d'écrire dans le "
                           "registre…\nERREUR : Accès refusé. Wine est en cours d'exécution dans ce préfixe et l'outil "
                           "de registre de Wine est introuvable (Wine n'est pas installé) : fermez ses programmes, puis "
                           "recommencez.\n"));
  EXPECT_EQ(Inspect(kQueryFilename).exitCode, 1) << "nothing was written";
}

TEST(InspectReg, TheOverviewShowsWhetherAWineserverOwnsThePrefix) {
  fixtures::TempPrefix prefix;
  EXPECT_TRUE(Inspect({}).out.contains(QStringLiteral("\nWineserver\taucun\n")));
  fixtures::FakeWineserver server(prefix.root());
  ASSERT_TRUE(server.locked());
  EXPECT_TRUE(Inspect({}).out.contains(QStringLiteral("\nWineserver\ten cours (%1) : les écritures du registre passent "
                                                      "par Wine\n")
                                           .arg(QString::fromStdString(server.folder()))));
}

}  // namespace

#endif

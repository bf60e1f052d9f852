// kelvaro-update-batch end to end: a real packed update executable made by
// kelvaro-pack, a fixture prefix, the tool run as its own process; the whole
// report, the boxes on standard error and the exit code are compared.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <cctype>
#include <fstream>

#include "fixtures/packed_update.h"
#include "fixtures/test_user.h"
#include "platform/system.h"

#if defined(KELVARO_UPDATE_BATCH) && defined(KELVARO_PACK)

namespace {

const std::string& kInstalled = fixtures::kTorvidaLibrary;
using fixtures::BatchRun;

class UpdateBatchTest : public fixtures::PackedUpdateTest {
 protected:
  void carryTorvidaUpdate() { PackedUpdateTest::carryTorvidaUpdate("torvida_1_2_3_10.dll"); }

  // The lock's name: the file name with every letter after the first in
  // lower case.
  std::u16string lockName() const {
    std::u16string name;
    for (char c : updateName()) name += char16_t(name.empty() ? c : std::tolower(static_cast<unsigned char>(c)));
    return name;
  }

  // The report with the date and the temporary file numbers made constant.
  static QString Normalised(QString report) {
    report.replace(QRegularExpression(QStringLiteral("\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d")), QStringLiteral("<date>"));
    report.replace(QRegularExpression(QStringLiteral("Update\\d+\\.tmp")), QStringLiteral("Update<n>.tmp"));
    return report;
  }

  std::string read(const std::string& windowsPath) const { return prefix.readFile(windowsPath); }
};

QString CopyLines(const QString& tempFolder, const QString& target) {
  return QStringLiteral("Copie de ") + tempFolder + QStringLiteral("Update<n>.tmp\nvers ") + target + QStringLiteral("\n\n");
}

std::string HostFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

QString TempFolder() {
  // The fixture's TEMP: C:\users\<unix user>\Temp\.
  const passwd* user = getpwuid(getuid());
  return QStringLiteral("C:\\users\\") + QString::fromLocal8Bit(user ? user->pw_name : "user") + QStringLiteral("\\Temp\\");
}

TEST_F(UpdateBatchTest, UpdatesTorvidaAndReportsEveryStep) {
  carryTorvidaUpdate();
  installTorvida("torvida_1_2_3_9.dll");
  const BatchRun result = run(pack());

  const QString folder = QStringLiteral("C:\\WKelvaro\\Torvida\\Programs\\");
  QString expected = QStringLiteral("Mise à jour : Mise à jour Torvida  <date>\n\n");
  for (const char* name : {"WKTorvida2.dll", "IBANKernel.dll", "Torvida.chm", "ssleay32.dll", "libeay32.dll"}) {
    expected += CopyLines(TempFolder(), folder + QString::fromLatin1(name));
  }
  expected += QStringLiteral("\nLa mise à jour est terminée avec succès.\n");
  EXPECT_EQ(Normalised(result.out), expected);
  EXPECT_EQ(result.err, QString());
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(read(kInstalled), fixture("torvida_1_2_3_10.dll"));
  EXPECT_EQ(read("C:\\WKelvaro\\Torvida\\Programs\\libeay32.dll"), "carried libeay32.dll");
  // Every temporary file of the run is gone.
  EXPECT_TRUE(QDir(QString::fromStdString(prefix.hostPath(TempFolder().toStdString())))
                  .entryList({QStringLiteral("Update*.tmp")}, QDir::Files)
                  .isEmpty());
}

TEST_F(UpdateBatchTest, QuestionsGetTheGivenAnswer) {
  carryTorvidaUpdate();
  installTorvida("torvida_1_2_3_10.dll");
  const std::string update = pack();
  const QString question = QStringLiteral(
      "confirmation: Le fichier WKTorvida2.dll présent sur votre système est à jour.\nVoulez-vous tout de même "
      "continuer la mise à jour ?\n");

  const BatchRun declined = run(update);
  EXPECT_EQ(declined.exitCode, 2);
  EXPECT_EQ(declined.err, question);
  EXPECT_EQ(Normalised(declined.out),
            QStringLiteral("Mise à jour : Mise à jour Torvida  <date>\n\n"
                           "Le fichier C:\\WKelvaro\\Torvida\\Programs\\WKTorvida2.dll\n"
                           "est à jour : il n'est pas remplacé.\n\n"
                           "\nLa mise à jour n'a pas été effectuée.\n"));

  const BatchRun accepted = run(update, {QStringLiteral("--answer"), QStringLiteral("yes")});
  EXPECT_EQ(accepted.exitCode, 0);
  EXPECT_EQ(accepted.err, question);
  EXPECT_TRUE(accepted.out.endsWith(QStringLiteral("La mise à jour est terminée avec succès.\n")));
}

TEST_F(UpdateBatchTest, AnErrorReachesTheHandler) {
  carry("Updates.txt", "Torvida\r\n");
  carry("AppInfo1.txt", "Titre\r\n");
  installTorvida("torvida_1_2_3_9.dll");
  const BatchRun result = run(pack());
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, QStringLiteral("error: Cannot find WKTorvida2.dll\n"));
  EXPECT_EQ(Normalised(result.out), QStringLiteral("Mise à jour : Titre  <date>\n\n"
                                                   "Cannot find WKTorvida2.dll\n\nLa mise à jour a échouée !\n"));
}

TEST_F(UpdateBatchTest, ALockedLibraryFails) {
  carryTorvidaUpdate();
  installTorvida("torvida_1_2_3_9.dll");
  const std::string update = pack();
  QProcess holder;
  holder.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("exec 3<\"$1\"; echo ready; exec sleep 60"),
                                      QStringLiteral("sh"), QString::fromStdString(prefix.hostPath(kInstalled))});
  ASSERT_TRUE(holder.waitForReadyRead(10000));
  const BatchRun result = run(update);
  holder.kill();
  holder.waitForFinished();
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, QString()) << "no box for a locked file";
  EXPECT_TRUE(result.out.endsWith(QStringLiteral("\nLa mise à jour a échouée !\n")));
  EXPECT_EQ(read(kInstalled), fixture("torvida_1_2_3_9.dll"));
}

TEST_F(UpdateBatchTest, NothingToUpdate) {
  carry("AppInfo1.txt", "Titre\r\n");
  const std::string withoutList = pack();
  BatchRun result = run(withoutList);
  EXPECT_EQ(result.exitCode, 4);
  EXPECT_EQ(result.out, QString());

  carry("Updates.txt", "PDFDLL\r\n");  // a product without a routine
  result = run(pack());
  EXPECT_EQ(result.exitCode, 4);
  EXPECT_EQ(Normalised(result.out), QStringLiteral("Mise à jour : Titre  <date>\n\n"));
}

TEST_F(UpdateBatchTest, ASecondCopyDoesNothing) {
  carryTorvidaUpdate();
  installTorvida("torvida_1_2_3_9.dll");
  const std::string update = pack();
  const auto lock = platform::CreateInstanceLock(lockName());
  ASSERT_TRUE(lock);
  const BatchRun result = run(update);
  EXPECT_EQ(result.exitCode, 4);
  EXPECT_EQ(result.out, QString());
  EXPECT_EQ(read(kInstalled), fixture("torvida_1_2_3_9.dll"));
}

// Run as root on a workstation user's prefix, the update would leave files
// that user can no longer write: it refuses before touching anything.
TEST_F(UpdateBatchTest, APrefixOfAnotherUserIsRefused) {
  fixtures::TestUser owner;
  if (!owner.available()) GTEST_SKIP() << owner.whyNot();
  carryTorvidaUpdate();
  installTorvida("torvida_1_2_3_9.dll");
  const std::string update = pack();
  ASSERT_TRUE(owner.giveTree(prefix.root()));
  const std::string userReg = HostFile(prefix.root() + "/user.reg");
  const BatchRun result = run(update);
  EXPECT_EQ(result.exitCode, 5);
  EXPECT_EQ(result.err, QStringLiteral("Le préfixe %1 appartient à l'utilisateur %2 : lancez ce programme sous son "
                                       "compte. Rien n'a été modifié.\n")
                            .arg(QString::fromStdString(prefix.root()), QString::fromStdString(owner.name())));
  EXPECT_EQ(result.out, QString());
  EXPECT_EQ(read(kInstalled), fixture("torvida_1_2_3_9.dll"));
  EXPECT_EQ(HostFile(prefix.root() + "/user.reg"), userReg);
}

TEST_F(UpdateBatchTest, BadArguments) {
  EXPECT_EQ(run("", {}).exitCode, 64);
  EXPECT_EQ(run(work + "/absent").exitCode, 64);
  carry("Updates.txt", "Torvida\r\n");
  EXPECT_EQ(run(pack(), {QStringLiteral("--answer"), QStringLiteral("peut-être")}).exitCode, 64);
}

}  // namespace

#endif

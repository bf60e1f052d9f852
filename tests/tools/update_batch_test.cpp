// kelvaro-update-batch end to end: a real packed update executable made by
// kelvaro-pack, a fixture prefix, the tool run as its own process; the whole
// report, the boxes on standard error and the exit code are compared.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <filesystem>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <cctype>
#include <cstdlib>
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

// The lines standard output showed, as the JSON document lists them.
QJsonArray OutputLines(const QString& out) {
  QStringList lines = out.split(QLatin1Char('\n'));
  lines.removeLast();  // after the last line feed
  return QJsonArray::fromStringList(lines);
}

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
  const BatchRun result = run(pack(), {QStringLiteral("--json"), outcomePath()});

  const QString folder = QStringLiteral("C:\\WKelvaro\\Torvida\\Programs\\");
  QString expected = QStringLiteral("Mise à jour : Mise à jour Torvida  <date>\n\n");
  for (const char* name : {"WKTorvida2.dll", "IBANKernel.dll", "Torvida.chm", "ssleay32.dll", "libeay32.dll"}) {
    expected += CopyLines(TempFolder(), folder + QString::fromLatin1(name));
  }
  expected += QStringLiteral("\nLa mise à jour est terminée avec succès.\n");
  EXPECT_EQ(Normalised(result.out), expected);
  EXPECT_EQ(result.err, QString());
  EXPECT_EQ(result.exitCode, 0);
  const QJsonObject json = readOutcome();
  EXPECT_EQ(json[QStringLiteral("outcome")], QStringLiteral("ok"));
  EXPECT_EQ(json[QStringLiteral("exitCode")], 0);
  EXPECT_EQ(json[QStringLiteral("report")], OutputLines(result.out));
  EXPECT_EQ(json[QStringLiteral("messages")], QJsonArray());
  EXPECT_EQ(json[QStringLiteral("companies")], QJsonArray()) << "this update carries no print list";
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

  const BatchRun declined = run(update, {QStringLiteral("--json"), outcomePath()});
  EXPECT_EQ(declined.exitCode, 2);
  EXPECT_EQ(declined.err, question);
  const QJsonObject json = readOutcome();
  EXPECT_EQ(json[QStringLiteral("outcome")], QStringLiteral("declined"));
  EXPECT_EQ(json[QStringLiteral("messages")],
            QJsonArray({QJsonObject{{QStringLiteral("kind"), QStringLiteral("confirmation")},
                                    {QStringLiteral("text"), question.mid(14).chopped(1)}}}));
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

// A copy running in this prefix (its lock held here) keeps a second one out
// of this prefix only: the same update runs in another prefix meanwhile.
TEST_F(UpdateBatchTest, ASecondCopyInThePrefixDoesNothingAnotherPrefixRuns) {
  carryTorvidaUpdate();
  installTorvida("torvida_1_2_3_9.dll");
  const std::string update = pack();
  fixtures::TempPrefix other(fixtures::TempPrefix::Use::AsOther);
  fixtures::InstallTorvida(other, "torvida_1_2_3_9.dll");
  const auto lock = platform::CreateInstanceLock(lockName());
  ASSERT_TRUE(lock);

  QProcess elsewhere;
  fixtures::StartBatch(&elsewhere, update, {}, other.root());
  const BatchRun result = run(update);
  const BatchRun otherResult = fixtures::FinishBatch(&elsewhere);
  EXPECT_EQ(result.exitCode, 4);
  EXPECT_EQ(result.out, QString());
  EXPECT_TRUE(read(kInstalled) == fixture("torvida_1_2_3_9.dll")) << "this prefix's library is left alone";
  EXPECT_EQ(otherResult.exitCode, 0) << otherResult.err.toStdString();
  EXPECT_TRUE(otherResult.out.endsWith(QStringLiteral("La mise à jour est terminée avec succès.\n")));
  EXPECT_TRUE(other.readFile(kInstalled) == fixture("torvida_1_2_3_10.dll")) << "the other prefix's is replaced";
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
  EXPECT_EQ(result.err, QStringLiteral("kelvaro-update-batch: Le préfixe %1 appartient à l'utilisateur %2 : lancez ce programme sous son "
                                       "compte. Rien n'a été modifié.\n")
                            .arg(QString::fromStdString(prefix.root()), QString::fromStdString(owner.name())));
  EXPECT_EQ(result.out, QString());
  EXPECT_EQ(read(kInstalled), fixture("torvida_1_2_3_9.dll"));
  EXPECT_EQ(HostFile(prefix.root() + "/user.reg"), userReg);
}

// The journal an interrupted run of another user left is that user's
// installation too: undoing it would leave files the user cannot write.
TEST_F(UpdateBatchTest, AJournalOfAnotherUserIsRefusedLikeTheirPrefix) {
  fixtures::TestUser owner;
  if (!owner.available()) GTEST_SKIP() << owner.whyNot();
  carryTorvidaUpdate();
  installTorvida("torvida_1_2_3_9.dll");
  const std::string update = pack();
  const std::string journal = prefix.hostPath("C:\\ProgramData\\Kelvaro\\journal.txt");
  prefix.writeFile("C:\\ProgramData\\Kelvaro\\journal.txt", "KELVARO-JOURNAL 1\n");
  ASSERT_TRUE(owner.giveTree(std::filesystem::path(journal).parent_path().string()));
  const BatchRun result = run(update);
  EXPECT_EQ(result.exitCode, 5);
  EXPECT_EQ(result.err, QStringLiteral("kelvaro-update-batch: Le journal des modifications "
                                       "C:\\ProgramData\\Kelvaro\\journal.txt appartient à l'utilisateur %1 : "
                                       "lancez ce programme sous son compte. Rien n'a été modifié.\n")
                            .arg(QString::fromStdString(owner.name())));
  EXPECT_EQ(read(kInstalled), fixture("torvida_1_2_3_9.dll"));
  EXPECT_EQ(HostFile(journal), "KELVARO-JOURNAL 1\n");
}

TEST_F(UpdateBatchTest, BadArguments) {
  EXPECT_EQ(run("", {}).exitCode, 64);
  EXPECT_EQ(run(work + "/absent").exitCode, 64);
  carry("Updates.txt", "Torvida\r\n");
  EXPECT_EQ(run(pack(), {QStringLiteral("--answer"), QStringLiteral("peut-être")}).exitCode, 64);
  EXPECT_EQ(run(pack(), {QStringLiteral("--json")}).exitCode, 64);
}

TEST_F(UpdateBatchTest, WhatCannotBeUpdatedIsRefusedWithItsReason) {
  // Files that are not updates must not pass for a workstation with nothing
  // to do, nor a prefix that is not there for a failed update.
  carryTorvidaUpdate();
  installTorvida("torvida_1_2_3_9.dll");
  const std::string update = pack();
  const std::string text = work + "/notes.txt";
  std::ofstream(text) << "not an update\n";
  const std::string missingPrefix = work + "/no-such-prefix";
  const struct {
    const char* what;
    std::string update;
    std::string prefix;
    QString message;
  } cases[] = {
      {"a text file", text, prefix.root(), QString::fromStdString(text) + " is not an update: it carries no files"},
      {"a program carrying nothing", KELVARO_UPDATE_BATCH, prefix.root(),
       QStringLiteral(KELVARO_UPDATE_BATCH " is not an update: it carries no files")},
      {"a prefix that does not exist", update, missingPrefix,
       QStringLiteral("this workstation has no drive C: the Wine prefix %1 does not exist or is not a prefix")
           .arg(QString::fromStdString(missingPrefix))},
  };
  for (const auto& c : cases) {
    setenv("WINEPREFIX", c.prefix.c_str(), 1);
    const BatchRun result = run(c.update, {QStringLiteral("--json"), outcomePath()});
    setenv("WINEPREFIX", prefix.root().c_str(), 1);
    EXPECT_EQ(result.exitCode, 64) << c.what;
    EXPECT_EQ(result.out, QString()) << c.what;
    EXPECT_EQ(result.err, QStringLiteral("kelvaro-update-batch: ") + c.message + QLatin1Char('\n')) << c.what;
    const QJsonObject json = readOutcome();
    EXPECT_EQ(json[QStringLiteral("outcome")], QStringLiteral("not-run")) << c.what;
    EXPECT_EQ(json[QStringLiteral("messages")][0][QStringLiteral("text")], c.message) << c.what;
  }
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(missingPrefix))) << "no prefix is made where none was";
  EXPECT_EQ(read(kInstalled), fixture("torvida_1_2_3_9.dll"));
}

TEST_F(UpdateBatchTest, AJsonDocumentThatCannotBeWrittenLeavesTheOutcome) {
  carry("AppInfo1.txt", "Titre\r\n");
  const QString unwritable = QString::fromStdString(work + "/no-such-folder/outcome.json");
  const BatchRun result = run(pack(), {QStringLiteral("--json"), unwritable});
  EXPECT_EQ(result.exitCode, 4);
  EXPECT_TRUE(result.err.startsWith(QStringLiteral("kelvaro-update-batch: cannot write ") + unwritable))
      << result.err.toStdString();
}

TEST_F(UpdateBatchTest, ProgressLineOnATerminalOnly) {
  // Two companies whose databases the registry does not name: both are
  // worked on (and reported as not reached) without any server.
  carryTorvidaUpdate();
  carry("PrintLists.txt", "Adresses.lst\r\n");
  carry("Adresses.lst", "DES:F:Liste des adresses\r\n");
  installTorvida("torvida_1_2_3_9.dll");
  prefix.writeFile("C:\\Kelvaro\\multiste.txt", "Alpha\r\nB\xeata\r\n");
  const std::string update = pack();

  const BatchRun piped = run(update);
  EXPECT_EQ(piped.exitCode, 3);
  EXPECT_EQ(piped.err, QString()) << "no status line into a pipe";
  installTorvida("torvida_1_2_3_9.dll");  // the same run again

  // script(1) gives the run a terminal; standard output and error both go
  // to it, line feeds as CR LF.
  QProcess terminal;
  terminal.start(QStringLiteral("script"), {QStringLiteral("-qec"),
                                            QStringLiteral(KELVARO_UPDATE_BATCH " '") +
                                                QString::fromStdString(update) + QLatin1Char('\''),
                                            QStringLiteral("/dev/null")});
  ASSERT_TRUE(terminal.waitForFinished(60000));
  EXPECT_EQ(terminal.exitCode(), 3);
  QString shown = QString::fromUtf8(terminal.readAllStandardOutput());
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  for (const QString& status : {QStringLiteral("Société 1/2 : Alpha"), QStringLiteral("Société 2/2 : Bêta")}) {
    EXPECT_TRUE(shown.contains(status + QStringLiteral("\r") + QString(status.size(), QLatin1Char(' ')) +
                               QStringLiteral("\r")))
        << "drawn, then cleared: " << status.toStdString();
    shown.remove(status + QStringLiteral("\r") + QString(status.size(), QLatin1Char(' ')) + QStringLiteral("\r"));
  }
  EXPECT_EQ(Normalised(shown), Normalised(piped.out)) << "the report is whole between status lines";
}

}  // namespace

#endif

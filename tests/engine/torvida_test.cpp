// UpdateTorvida, outcome by outcome: what it returns, what the report says,
// what the user is asked, and what is installed and registered afterwards.
#include <QRegularExpression>
#include <functional>
#include <optional>

#include "engine/windows_installer.h"
#include "engine_fixture.h"
#include "products/product_paths.h"
#include "support/errors.h"
#include "support/registry_access.h"
#include "support/system_errors.h"

namespace {

using namespace kelvaro;
using enginetest::Day;

const std::string kFolder = "C:\\WKelvaro\\Torvida\\Programs\\";
const QString kFolderQ = QString::fromStdString(kFolder);
const std::string kLibrary = kFolder + "WKTorvida2.dll";
const QString kLibraryQ = QString::fromStdString(kLibrary);

std::map<QString, QByteArray> FullUpdate() {
  return {{QStringLiteral("WKTorvida2.dll"), "new library"}, {QStringLiteral("IBANKernel.dll"), "kernel"},
          {QStringLiteral("Torvida.chm"), "help"},           {QStringLiteral("ssleay32.dll"), "ssl"},
          {QStringLiteral("libeay32.dll"), "crypto"}};
}

// The two lines of one copy into the program folder.
QStringList Copy(const QString& name) {
  return {QStringLiteral("Copie de <tmp>"), QStringLiteral("vers ") + kFolderQ + name + QStringLiteral("\r\n")};
}

QString Failure(const QString& name, const QString& message) {
  return QStringLiteral("Une erreur s'est produite lors de la mise à jour du ") + name + QStringLiteral("\r\n") + message;
}

QString Registered() {
  return ReadRegistryString(kHkeyCurrentUser, QStringLiteral("SOFTWARE\\KELVARO S.A.\\Torvida\\Program"),
                            QStringLiteral("Filename"));
}

class TorvidaTest : public enginetest::EngineTest {
 protected:
  // The usual installation: found by searching drive C, nothing registered.
  void install(platform::FileTime libraryTime = Day(-1)) {
    writeFile(kLibrary, "old library", libraryTime);
  }
  // Report lines with every temporary file name replaced by <tmp>.
  QStringList normalisedReport() {
    const QString temp = QRegularExpression::escape(engine->installer().GetTempPath());
    const QRegularExpression tmp(temp + QStringLiteral("Update\\d+\\.tmp"));
    QStringList lines = report();
    for (QString& line : lines) line.replace(tmp, QStringLiteral("<tmp>"));
    return lines;
  }
  TUpdateResultType run() {
    engine->SetAppNameType(antTorvida);
    return engine->UpdateTorvida();
  }
};

TEST_F(TorvidaTest, EverythingDone) {
  carry(FullUpdate());
  install();
  EXPECT_EQ(run(), urtOk);
  EXPECT_EQ(normalisedReport(), Copy("WKTorvida2.dll") + Copy("IBANKernel.dll") + Copy("Torvida.chm") +
                                    Copy("ssleay32.dll") + Copy("libeay32.dll"));
  EXPECT_TRUE(scripted.user.shown.empty());
  EXPECT_EQ(read(kLibrary), "new library");
  EXPECT_EQ(read(kFolder + "libeay32.dll"), "crypto");
  EXPECT_EQ(Registered(), kLibraryQ);
}

TEST_F(TorvidaTest, OptionalCompanionsAreSkippedSilently) {
  auto files = FullUpdate();
  files.erase(QStringLiteral("IBANKernel.dll"));
  files.erase(QStringLiteral("Torvida.chm"));
  carry(files);
  install();
  EXPECT_EQ(run(), urtOk);
  EXPECT_EQ(normalisedReport(), Copy("WKTorvida2.dll") + Copy("ssleay32.dll") + Copy("libeay32.dll"));
  EXPECT_FALSE(exists(kFolder + "IBANKernel.dll"));
}

TEST_F(TorvidaTest, LibraryNotCarriedGoesToTheWizard) {
  auto files = FullUpdate();
  files.erase(QStringLiteral("WKTorvida2.dll"));
  carry(files);
  install();
  try {
    run();
    FAIL() << "no error";
  } catch (const Error& error) {
    EXPECT_EQ(error.message(), QStringLiteral("Cannot find WKTorvida2.dll"));
  }
  EXPECT_TRUE(report().isEmpty());
  EXPECT_EQ(read(kLibrary), "old library");
}

TEST_F(TorvidaTest, NoRootAndSearchCancelled) {
  carry(FullUpdate());
  EXPECT_EQ(run(), urtKo);
  EXPECT_TRUE(report().isEmpty());
  ASSERT_EQ(scripted.user.shown.size(), 1u);
  EXPECT_EQ(scripted.user.shown[0].text,
            QStringLiteral("Répertoire WKelvaro pas trouvé. Veuillez indiquer son emplacement."));
}

TEST_F(TorvidaTest, RegisteredRootThatVanished) {
  carry(FullUpdate());
  ASSERT_TRUE(SetProductProgramPath(QStringLiteral("Torvida"), QStringLiteral("C:\\Parti\\Torvida\\Programs\\WKTorvida2.dll")));
  EXPECT_EQ(run(), urtKo);
  EXPECT_TRUE(report().isEmpty());
  EXPECT_TRUE(scripted.user.shown.empty()) << "a registered root is not searched for";
}

TEST_F(TorvidaTest, InstalledLibraryMissing) {
  carry(FullUpdate());
  prefix.makeDirectory("C:\\WKelvaro\\Torvida\\Programs");
  EXPECT_EQ(run(), urtKo);
  EXPECT_EQ(report(), QStringList{Failure("WKTorvida2.dll", QStringLiteral("Fichier pas trouvé : ") + kLibraryQ)});
  EXPECT_FALSE(exists(kLibrary));
}

TEST_F(TorvidaTest, SameVersionAnsweredNoChangesNothing) {
  carry(FullUpdate());
  install(Day(0));
  scripted.user.answers = {false};
  EXPECT_EQ(run(), urtNot);
  EXPECT_EQ(report(), (QStringList{QStringLiteral("Le fichier ") + kLibraryQ,
                                   QStringLiteral("est à jour : il n'est pas remplacé.\r\n")}));
  EXPECT_EQ(read(kLibrary), "old library");
  EXPECT_FALSE(exists(kFolder + "ssleay32.dll"));
  EXPECT_EQ(Registered(), QString());
}

TEST_F(TorvidaTest, OlderCarriedAnsweredNoKeepsTheNewerLibrary) {
  carry(FullUpdate());
  install(Day(1));
  scripted.user.answers = {false};
  EXPECT_EQ(run(), urtNot);
  EXPECT_EQ(report(), (QStringList{QStringLiteral("Le fichier ") + kLibraryQ, QStringLiteral("n'est pas remplacé !!!\r\n")}));
  EXPECT_EQ(read(kLibrary), "old library");
}

TEST_F(TorvidaTest, SameVersionAnsweredYesRunsEverything) {
  carry(FullUpdate());
  install(Day(0));
  scripted.user.answers = {true};
  EXPECT_EQ(run(), urtOk);
  EXPECT_EQ(normalisedReport().size(), 10);
  EXPECT_EQ(read(kLibrary), "new library");
  EXPECT_EQ(Registered(), kLibraryQ);
}

TEST_F(TorvidaTest, LockedLibraryFailsWithoutABox) {
  carry(FullUpdate());
  install();
  enginetest::FileHolder running(prefix.hostPath(kLibrary));
  EXPECT_EQ(run(), urtKo);
  EXPECT_EQ(normalisedReport(), Copy("WKTorvida2.dll"));
  EXPECT_TRUE(scripted.user.shown.empty());
  EXPECT_EQ(read(kLibrary), "old library");
  EXPECT_FALSE(exists(kFolder + "ssleay32.dll")) << "companions follow the library only";
  EXPECT_EQ(Registered(), QString());
}

TEST_F(TorvidaTest, RequiredCompanionNotCarried) {
  auto files = FullUpdate();
  files.erase(QStringLiteral("ssleay32.dll"));
  carry(files);
  install();
  EXPECT_EQ(run(), urtKo);
  EXPECT_EQ(normalisedReport(), Copy("WKTorvida2.dll") + Copy("IBANKernel.dll") + Copy("Torvida.chm") +
                                    QStringList{Failure("ssleay32.dll", QStringLiteral("Cannot find ssleay32.dll"))});
  EXPECT_EQ(read(kLibrary), "new library");
  EXPECT_FALSE(exists(kFolder + "libeay32.dll"));
}

TEST_F(TorvidaTest, CompanionCopyFailureNamesTheFileAndTheSystemError) {
  carry(FullUpdate());
  install();
  writeFile(kFolder + "libeay32.dll", "in use");
  enginetest::FileHolder running(prefix.hostPath(kFolder + "libeay32.dll"));
  EXPECT_EQ(run(), urtKo);
  const QStringList lines = normalisedReport();
  ASSERT_EQ(lines.size(), 11);
  EXPECT_EQ(lines.mid(0, 10), Copy("WKTorvida2.dll") + Copy("IBANKernel.dll") + Copy("Torvida.chm") +
                                  Copy("ssleay32.dll") + Copy("libeay32.dll"));
  EXPECT_EQ(lines[10], Failure("libeay32.dll", QStringLiteral("Source: <tmp>\r\nTarget: ") + kFolderQ +
                                                   QStringLiteral("libeay32.dll\r\n\r\nError: Erreur système.  Code : 32.\r\n") +
                                                   SystemErrorText(32)));
  EXPECT_EQ(read(kFolder + "libeay32.dll"), "in use");
}

// The files are in place, but a registration that fails must not pass for
// success: one report line names the entry and the reason, and the outcome
// is a warning.
TEST_F(TorvidaTest, ARefusedRegistrationIsReportedAndWarns) {
  carry(FullUpdate());
  install();
  std::filesystem::permissions(prefix.root() + "/user.reg", std::filesystem::perms::owner_read);
  EXPECT_EQ(run(), urtWarning);
  const QString refused = QStringLiteral("Le chemin ") + kLibraryQ +
                          QStringLiteral(" n'a pas pu être enregistré dans HKEY_CURRENT_USER\\SOFTWARE\\KELVARO "
                                         "S.A.\\Torvida\\Program\\Filename : ") +
                          SystemErrorText(5).trimmed() + QStringLiteral("\r\n");
  EXPECT_EQ(normalisedReport(), Copy("WKTorvida2.dll") + QStringList{refused} + Copy("IBANKernel.dll") +
                                    Copy("Torvida.chm") + Copy("ssleay32.dll") + Copy("libeay32.dll"));
  EXPECT_EQ(read(kLibrary), "new library");
  EXPECT_EQ(Registered(), QString());
}

TEST_F(TorvidaTest, ReadOnlyInstalledLibraryIsReplaced) {
  carry(FullUpdate());
  install();
  std::filesystem::permissions(prefix.hostPath(kLibrary), std::filesystem::perms::owner_read);
  EXPECT_EQ(run(), urtOk);
  EXPECT_EQ(read(kLibrary), "new library");
}

}  // namespace

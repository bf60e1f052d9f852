// The routines of the other products: what differs from the address
// manager's (the version gate, the file-in-use test, pointing at a missing
// program, companion lists that decide whether the program is replaced).
#include <QRegularExpression>
#include <filesystem>
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
using enginetest::ProgramWithVersion;

const QString kContact = QStringLiteral("Mise à jour impossible, merci de contacter Kelvaro.");

class ProductRoutineTest : public enginetest::EngineTest {
 protected:
  void TearDown() override {
    SetUpdaterExecutable(QString());
    EngineTest::TearDown();
  }
  void registerProgram(const char* product, const std::string& path) {
    ASSERT_TRUE(SetProductProgramPath(QString::fromUtf8(product), QString::fromStdString(path)));
  }
  QStringList normalisedReport() {
    const QRegularExpression tmp(QRegularExpression::escape(engine->installer().GetTempPath()) +
                                 QStringLiteral("Update\\d+\\.tmp"));
    QStringList lines = report();
    for (QString& line : lines) line.replace(tmp, QStringLiteral("<tmp>"));
    return lines;
  }
  QStringList shownTexts() const {
    QStringList texts;
    for (const auto& shown : scripted.user.shown) texts << shown.text;
    return texts;
  }
};

// --- Sorbano: version gate and file-in-use test ------------------------------

const std::string kSorbano = "C:\\WKelvaro\\WKS\\Programs\\Sorbano.exe";

class SorbanoTest : public ProductRoutineTest {
 protected:
  void install(uint16_t installedMajor, uint16_t carriedMajor, const std::string& program = kSorbano) {
    carry({{QStringLiteral("Sorbano.exe"), QByteArray::fromStdString(ProgramWithVersion(carriedMajor))},
           {QStringLiteral("ssleay32.dll"), "ssl"},
           {QStringLiteral("libeay32.dll"), "crypto"}});
    writeFile(program, ProgramWithVersion(installedMajor));
    registerProgram("Sorbano", program);
    engine->SetAppNameType(antWKS);
  }
};

TEST_F(SorbanoTest, MajorUpgradeFromAHardDiskIsRefused) {
  install(4, 5);
  EXPECT_EQ(engine->UpdateSorbano(), urtKo);
  EXPECT_EQ(report(), QStringList{QStringLiteral("\r\n") + kContact});
  EXPECT_EQ(shownTexts(), QStringList{kContact});
  // A lone exclamation beep, then the plain box, which has none of its own.
  EXPECT_EQ(scripted.user.shown[0].kind, MessageKind::Plain);
  EXPECT_EQ(scripted.user.beeps, std::vector<BeepType>{BeepType::Exclamation});
  EXPECT_EQ(read(kSorbano), ProgramWithVersion(4));
}

TEST_F(SorbanoTest, MajorUpgradeFromTheCdRomGoesAhead) {
  install(4, 5);
  prefix.addDrive('e', prefix.root() + "/cdrom", "cdrom");
  SetUpdaterExecutable(QStringLiteral("E:\\MajSorbano.exe"));
  EXPECT_EQ(engine->UpdateSorbano(), urtOk);
  EXPECT_EQ(read(kSorbano), ProgramWithVersion(5));
  EXPECT_EQ(read("C:\\WKelvaro\\WKS\\Programs\\libeay32.dll"), "crypto");
}

TEST_F(SorbanoTest, ARunningProgramIsReportedWithItsSystemError) {
  // A folder name that looks like a placeholder stays as it is in the box.
  const std::string program = "C:\\Kelvaro %1\\WKS\\Programs\\Sorbano.exe";
  install(4, 4, program);
  // A newer minor version: no question, so only the in-use test can stop it.
  carry({{QStringLiteral("Sorbano.exe"), QByteArray::fromStdString(ProgramWithVersion(4, 1))}});
  enginetest::FileHolder running(prefix.hostPath(program));
  EXPECT_EQ(engine->UpdateSorbano(), urtKo);
  ASSERT_EQ(scripted.user.shown.size(), 1u);
  // The system text keeps its closing line break: the code is on a line of
  // its own.
  ASSERT_TRUE(SystemErrorText(32).endsWith(QStringLiteral("\r\n")));
  EXPECT_EQ(scripted.user.shown[0].text,
            QStringLiteral("Une erreur s'est produite lors de la mise à jour du ") + QString::fromStdString(program) +
                QStringLiteral("\r\n") + SystemErrorText(32) + QStringLiteral(" (32)"));
  EXPECT_EQ(scripted.user.shown[0].kind, MessageKind::Plain);
  EXPECT_TRUE(scripted.user.beeps.empty());
  EXPECT_TRUE(report().isEmpty());
}

TEST_F(SorbanoTest, AMissingProgramIsAskedFor) {
  install(4, 4);
  std::filesystem::remove(prefix.hostPath(kSorbano));
  prefix.makeDirectory("C:\\WKelvaro\\WKS\\Programs");
  EXPECT_EQ(engine->UpdateSorbano(), urtKo);
  EXPECT_EQ(shownTexts(), QStringList{QStringLiteral("Programme ") + QString::fromStdString(kSorbano) +
                                      QStringLiteral(" pas trouvé. Veuillez indiquer son emplacement.")});
  EXPECT_TRUE(report().isEmpty());
}

TEST_F(SorbanoTest, AProgramWithoutVersionIsReported) {
  install(4, 4);
  writeFile(kSorbano, "no version here");
  EXPECT_EQ(engine->UpdateSorbano(), urtKo);
  EXPECT_EQ(report(), QStringList{QStringLiteral("Une erreur s'est produite lors de la mise à jour du Sorbano.exe\r\n") +
                                  QString::fromStdString(kSorbano) +
                                  QStringLiteral("\r\nVersion du fichier inconnue ou incompatible.")});
}

// --- Pastrel: base folder, version 3 only, data files --------------------------

TEST_F(ProductRoutineTest, PastrelWithAnotherMajorVersionStopsWithAnError) {
  carry({{QStringLiteral("Pastrel.exe"), QByteArray::fromStdString(ProgramWithVersion(3, 1))}});
  writeFile("C:\\Pastrel\\Pastrel.exe", ProgramWithVersion(2));
  registerProgram("Pastrel", "C:\\Pastrel");
  try {
    engine->UpdatePastrel();
    FAIL() << "no error";
  } catch (const Error& error) {
    EXPECT_EQ(error.message(), QStringLiteral("C:\\Pastrel\\Pastrel.exe\r\nVersion du fichier inconnue ou incompatible."));
  }
}

TEST_F(ProductRoutineTest, PastrelCopiesItsDataFilesQuietly) {
  carry({{QStringLiteral("Pastrel.exe"), QByteArray::fromStdString(ProgramWithVersion(3, 1))},
         {QStringLiteral("Pastrel.etf"), "settings"},
         {QStringLiteral("FileNames.txt"), "Clients.dat\r\npastrel.ETF\r\nTarifs.dat\r\n"},
         {QStringLiteral("Clients.dat"), "clients"},
         {QStringLiteral("Tarifs.dat"), "tarifs"}});
  writeFile("C:\\Pastrel\\Pastrel.exe", ProgramWithVersion(3));
  prefix.makeDirectory("C:\\Pastrel\\Data");
  registerProgram("Pastrel", "C:\\Pastrel\\");
  EXPECT_EQ(engine->UpdatePastrel(), urtOk);
  EXPECT_EQ(normalisedReport(),
            (QStringList{"Copie de <tmp>", "vers C:\\Pastrel\\Pastrel.exe\r\n", "Copie de <tmp>",
                         "vers C:\\Pastrel\\Pastrel.etf\r\n", QStringLiteral("Copie de fichiers de données...")}));
  EXPECT_EQ(read("C:\\Pastrel\\Data\\Tarifs.dat"), "tarifs");
  EXPECT_FALSE(exists("C:\\Pastrel\\Data\\pastrel.ETF"));
}

TEST_F(ProductRoutineTest, PastrelNotRegistered) {
  carry({{QStringLiteral("Pastrel.exe"), "x"}});
  EXPECT_THROW(
      {
        try {
          engine->UpdatePastrel();
        } catch (const Error& error) {
          EXPECT_EQ(error.message(), QStringLiteral("Programme Pastrel pas trouvé."));
          throw;
        }
      },
      Error);
}

// --- Brevani: the program is replaced only after all its files ------------------

TEST_F(ProductRoutineTest, BrevaniWithAMissingListedFileKeepsItsProgram) {
  carry({{QStringLiteral("Brevani.exe"), "new"},
         {QStringLiteral("FileNames.txt"), "A.dll\r\nB.dll\r\nC.dll\r\n"},
         {QStringLiteral("A.dll"), "a"},
         {QStringLiteral("C.dll"), "c"}},
        Day(0));
  writeFile("C:\\WKelvaro\\Brevani\\Programs\\Brevani.exe", "old", Day(-1));
  writeFile("C:\\WKelvaro\\Sorbano\\Programs\\Sorbano.exe", "s");
  registerProgram("Sorbano", "C:\\WKelvaro\\Sorbano\\Programs\\Sorbano.exe");
  EXPECT_EQ(engine->UpdateBrevani(), urtWarning);
  EXPECT_EQ(read("C:\\WKelvaro\\Brevani\\Programs\\Brevani.exe"), "old");
  EXPECT_EQ(read("C:\\WKelvaro\\Brevani\\Programs\\A.dll"), "a");
  EXPECT_EQ(read("C:\\WKelvaro\\Brevani\\Programs\\C.dll"), "c");
}

TEST_F(ProductRoutineTest, BrevaniCopiesItsProgramLast) {
  carry({{QStringLiteral("Brevani.exe"), "new"}, {QStringLiteral("FileNames.txt"), "A.dll\r\n"}, {QStringLiteral("A.dll"), "a"}});
  writeFile("C:\\WKelvaro\\Brevani\\Programs\\Brevani.exe", "old", Day(-1));
  writeFile("C:\\WKelvaro\\Sorbano\\Programs\\Sorbano.exe", "s");
  registerProgram("Sorbano", "C:\\WKelvaro\\Sorbano\\Programs\\Sorbano.exe");
  EXPECT_EQ(engine->UpdateBrevani(), urtOk);
  EXPECT_EQ(normalisedReport(), (QStringList{"Copie de <tmp>", "vers C:\\WKelvaro\\Brevani\\Programs\\A.dll\r\n",
                                             "Copie de <tmp>", "vers C:\\WKelvaro\\Brevani\\Programs\\Brevani.exe\r\n"}));
  EXPECT_EQ(read("C:\\WKelvaro\\Brevani\\Programs\\Brevani.exe"), "new");
}

// --- Common, CommonPDF, Imagora: the shared programs folder ------------------------

TEST_F(ProductRoutineTest, CommonWithoutRegisteredProductDoesNothing) {
  carry({{QStringLiteral("FileNames.txt"), "A.dll\r\n"}, {QStringLiteral("A.dll"), "a"}});
  EXPECT_EQ(engine->UpdateCommon(), urtKo);
  EXPECT_TRUE(report().isEmpty());
}

TEST_F(ProductRoutineTest, CommonCreatesTheSharedFolderAndCountsFailures) {
  carry({{QStringLiteral("FileNames.txt"), "A.dll\r\nAbsent.dll\r\nC.dll\r\n"}, {QStringLiteral("A.dll"), "a"}, {QStringLiteral("C.dll"), "c"}});
  writeFile("C:\\WKelvaro\\Torvida\\Programs\\WKTorvida2.dll", "t");
  registerProgram("Torvida", "C:\\WKelvaro\\Torvida\\Programs\\WKTorvida2.dll");
  EXPECT_EQ(engine->UpdateCommon(), urtKo) << "one listed file is not carried";
  EXPECT_EQ(read("C:\\WKelvaro\\Common\\Programs\\A.dll"), "a");
  EXPECT_EQ(read("C:\\WKelvaro\\Common\\Programs\\C.dll"), "c");
}

TEST_F(ProductRoutineTest, CommonPdfWithoutTheViewer) {
  carry({{QStringLiteral("wPDF300A.dll"), "pdf"}});
  writeFile("C:\\WKelvaro\\Torvida\\Programs\\WKTorvida2.dll", "t");
  registerProgram("Torvida", "C:\\WKelvaro\\Torvida\\Programs\\WKTorvida2.dll");
  EXPECT_EQ(engine->UpdateCommonPDF(), urtKo);
  EXPECT_EQ(normalisedReport(), (QStringList{"", "Copie de <tmp>", "vers C:\\WKelvaro\\Common\\Programs\\wPDF300A.dll\r\n",
                                             "Sour=? Dest=C:\\WKelvaro\\Common\\Programs\\wPDFViewPlus04.dll"}));
}

TEST_F(ProductRoutineTest, ImagoraFoundThroughTheMachineRegistration) {
  carry({{QStringLiteral("Imagora.exe"), "new"}, {QStringLiteral("FileNames.txt"), "I.dll\r\n"}, {QStringLiteral("I.dll"), "i"}});
  writeFile("C:\\Images\\Imagora.exe", "old", Day(-1));
  prefix.appendSystemReg("\n[Software\\\\KELVARO S.A.\\\\Imagora\\\\Program] 1796862791\n#time=1dd883e092ec922\n"
                         "\"Filename\"=\"C:\\\\Images\\\\Imagora.exe\"\n");
  EXPECT_EQ(engine->UpdateImagora(), urtOk);
  EXPECT_EQ(read("C:\\Images\\Imagora.exe"), "new");
  EXPECT_EQ(read("C:\\Images\\I.dll"), "i");
}

// --- Finance products, Nimbaro, QRV -------------------------------------------------

// The interface file's path is registered only where the file is installed,
// and then before anything is replaced, whatever the user answers.
TEST_F(ProductRoutineTest, FinanceInterfaceRegisteredOnlyWhenInstalled) {
  const QString installed = QStringLiteral("C:\\Kelvaro5\\rhx\\SA-00.int");
  const struct {
    const char* what;
    int installedDay;  // 0: not installed
    std::optional<bool> answer;
    TUpdateResultType result;
    QString registered;
    QString firstReportLine;
  } cases[] = {
      {"not installed", 0, std::nullopt, urtKo, QString(),
       QStringLiteral("Une erreur s'est produite lors de la mise à jour du rhx\\SA-00.int\r\n"
                      "Fichier pas trouvé : C:\\Kelvaro5\\rhx\\SA-00.int")},
      {"installed newer, the user keeps it", 1, false, urtNot, installed, QStringLiteral("Le fichier ") + installed},
      {"installed older", -1, std::nullopt, urtOk, installed, QStringLiteral("Copie de <tmp>")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(SetProductProgramPath(QStringLiteral("Solmira"), QString()));
    std::filesystem::remove_all(prefix.hostPath("C:\\Kelvaro5"));
    prefix.makeDirectory("C:\\Kelvaro5\\rhx");
    if (c.installedDay) writeFile("C:\\Kelvaro5\\rhx\\SA-00.int", "installed", Day(c.installedDay));
    carry({{QStringLiteral("SA-00.int"), "int"}, {QStringLiteral("FileNames.txt"), ""}}, Day(0));
    if (c.answer) scripted.user.answers.push_back(*c.answer);
    report().clear();
    EXPECT_EQ(engine->UpdateSolmiraFinance(antSolmira), c.result);
    EXPECT_EQ(GetProductProgramPath(QStringLiteral("Solmira"), true), c.registered);
    EXPECT_EQ(normalisedReport().value(0), c.firstReportLine);
  }
  EXPECT_EQ(read("C:\\Kelvaro5\\rhx\\SA-00.int"), "int");
}

TEST_F(ProductRoutineTest, FinanceRootNotFound) {
  carry({{QStringLiteral("FX-00.int"), "int"}});
  try {
    engine->UpdateSolmiraFinance(antFinance);
    FAIL() << "no error";
  } catch (const Error& error) {
    EXPECT_EQ(error.message(), QStringLiteral("Répertoire Kelvaro5 pas trouvé."));
  }
}

TEST_F(ProductRoutineTest, NimbaroWithoutItsInterfaceLibrary) {
  carry({{QStringLiteral("Nimbaro.exe"), "n"}});
  writeFile("C:\\WKelvaro\\Nimbaro\\Programs\\Nimbaro.exe", ProgramWithVersion(5));
  registerProgram("Nimbaro", "C:\\WKelvaro\\Nimbaro\\Programs\\Nimbaro.exe");
  EXPECT_EQ(engine->UpdateNimbaro(), urtKo);
  EXPECT_EQ(report(), QStringList{QStringLiteral("Une erreur s'est produite lors de la mise à jour du \r\n"
                                                 "L'installation de C:\\WKelvaro\\Nimbaro\\Programs\\WKE_INTF.dll n'a "
                                                 "certainement pas été effectuée !!!")});
}

TEST_F(ProductRoutineTest, NimbaroReplacesOnlyInstalledCompanions) {
  carry({{QStringLiteral("Nimbaro.exe"), QByteArray::fromStdString(ProgramWithVersion(5, 1))},
         {QStringLiteral("WKE_INTF.dll"), "intf"},
         {QStringLiteral("ssleay32.dll"), "ssl"},
         {QStringLiteral("libeay32.dll"), "crypto"},
         {QStringLiteral("NimbaroAgenda.exe"), "agenda"},
         {QStringLiteral("NimbaroExport.exe"), "export"}});
  writeFile("C:\\WKelvaro\\Nimbaro\\Programs\\Nimbaro.exe", ProgramWithVersion(5));
  writeFile("C:\\WKelvaro\\Nimbaro\\Programs\\WKE_INTF.dll", "old intf");
  writeFile("C:\\WKelvaro\\Nimbaro\\Programs\\NimbaroAgenda.exe", "old agenda");
  registerProgram("Nimbaro", "C:\\WKelvaro\\Nimbaro\\Programs\\Nimbaro.exe");
  // The shared PDF libraries are not carried: reported, and ignored.
  EXPECT_EQ(engine->UpdateNimbaro(), urtOk);
  EXPECT_EQ(read("C:\\WKelvaro\\Nimbaro\\Programs\\WKE_INTF.dll"), "intf");
  EXPECT_EQ(read("C:\\WKelvaro\\Nimbaro\\Programs\\NimbaroAgenda.exe"), "agenda");
  EXPECT_FALSE(exists("C:\\WKelvaro\\Nimbaro\\Programs\\NimbaroExport.exe"));
  EXPECT_TRUE(report().last().startsWith(QStringLiteral("Sour=? Dest=C:\\WKelvaro\\Common\\Programs\\")));
}

TEST_F(ProductRoutineTest, QrvCancelledWhenPointingAtTheProgram) {
  carry({{QStringLiteral("QRV.exe"), "q"}});
  EXPECT_EQ(engine->UpdateQRV(), urtKo);
  EXPECT_EQ(shownTexts(), QStringList{QStringLiteral("Programme  pas trouvé. Veuillez indiquer son emplacement.")});
  EXPECT_TRUE(report().isEmpty());
}

TEST_F(ProductRoutineTest, QrvWithTheProgramPointedAt) {
  carry({{QStringLiteral("QRV.exe"), "q"}, {QStringLiteral("QRVHELP.rtf"), "help"}}, Day(0));
  scripted.user.files = {QStringLiteral("C:\\Autre\\QRV.exe")};
  writeFile("C:\\Autre\\QRV.exe", "old", Day(-1));
  EXPECT_EQ(engine->UpdateQRV(), urtOk);
  EXPECT_EQ(read("C:\\Autre\\QRV.exe"), "q");
  EXPECT_EQ(read("C:\\Autre\\QRVHELP.rtf"), "help");
}

}  // namespace

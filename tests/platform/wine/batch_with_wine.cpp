// kelvaro-update-batch on a prefix made by wineboot while a wineserver runs
// in it (wineserver -p, as a Wine program left open): the address manager
// is installed but not registered, the update finds it by searching the
// drives, replaces it and registers its path through the running Wine, so
// that Wine reads the path at once and keeps it after the server ends. With
// Wine's registry tool out of reach the run says why and ends with a
// warning instead of passing the lost registration for success. A run that
// fails takes its registration back through the running Wine too.
#include <gtest/gtest.h>

#include <QString>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "fixtures/fake_wineserver.h"
#include "fixtures/packed_update.h"
#include "platform/registry.h"

namespace {

namespace fs = std::filesystem;

const QString kProgramEntry = QStringLiteral("HKEY_CURRENT_USER\\SOFTWARE\\KELVARO S.A.\\Torvida\\Program\\Filename");
const QString kWaitNotice = QStringLiteral(
    "Wine est en cours d'exécution dans ce préfixe : attente de son arrêt avant d'écrire dans le registre…\n");

std::string Output(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r")) {
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    pclose(pipe);
  }
  return out;
}

void Shell(const std::string& command) { (void)!std::system((command + " >/dev/null 2>&1").c_str()); }

std::string RegisteredInWine() {
  return Output("wine reg query 'HKCU\\Software\\KELVARO S.A.\\Torvida\\Program' /v Filename");
}

class BatchWithWineTest : public fixtures::PackedUpdateTest {
 protected:
  void SetUp() override {
    const char* prefix = std::getenv("KELVARO_WINE_PREFIX");
    if (!prefix || !*prefix) GTEST_SKIP() << "KELVARO_WINE_PREFIX names no prefix made by wineboot";
    wine_ = prefix;
    setenv("WINEPREFIX", prefix, 1);
    Shell("wineserver -k");
    Shell("wineserver -w");
    // Installed, not registered.
    platform::RegistryKey product;
    if (platform::RegOpenKey(platform::RegistryRoot::CurrentUser, u"Software\\KELVARO S.A.\\Torvida",
                             platform::kKeyAllAccess, &product) == platform::kErrorSuccess) {
      platform::RegDeleteKey(product, u"Program");
    }
    fs::create_directories(programs());
    std::ofstream(programs() + "/WKTorvida2.dll", std::ios::binary) << fixture("torvida_1_2_3_9.dll");
    carryTorvidaUpdate("torvida_1_2_3_10.dll");
    Shell("wineserver -p");
  }
  void TearDown() override {
    if (wine_.empty()) return;
    Shell("wineserver -k");
    Shell("wineserver -w");
    fs::remove_all(wine_ + "/drive_c/WKelvaro");
  }

  std::string programs() const { return wine_ + "/drive_c/WKelvaro/Torvida/Programs"; }

  std::string wine_;
};

TEST_F(BatchWithWineTest, TheProgramPathIsRegisteredThroughTheRunningWine) {
  const fixtures::BatchRun result = run(pack());
  EXPECT_EQ(result.exitCode, 0) << result.out.toStdString();
  EXPECT_EQ(result.err, kWaitNotice);
  EXPECT_TRUE(result.out.endsWith(QStringLiteral("La mise à jour est terminée avec succès.\n"))) << result.out.toStdString();
  const std::string path = "C:\\WKelvaro\\Torvida\\Programs\\WKTorvida2.dll";
  EXPECT_NE(RegisteredInWine().find(path), std::string::npos) << "while the server runs";
  Shell("wineserver -k");
  Shell("wineserver -w");
  EXPECT_NE(RegisteredInWine().find(path), std::string::npos) << "after the server ended";
}

// A run that fails after its registration undoes it the way it wrote it:
// through the running Wine, which then no longer has the value, at once and
// after the server ended.
TEST_F(BatchWithWineTest, AFailedRunTakesItsRegistrationBackThroughTheRunningWine) {
  fs::create_directories(programs() + "/ssleay32.dll");  // a folder where a companion goes
  const fixtures::BatchRun result = run(pack());
  EXPECT_EQ(result.exitCode, 1) << result.out.toStdString();
  EXPECT_TRUE(result.out.contains(QStringLiteral(
      "Les fichiers et le registre ont été remis dans l'état où ils étaient avant la mise à jour.")))
      << result.out.toStdString();
  EXPECT_EQ(RegisteredInWine().find("WKTorvida2.dll"), std::string::npos) << "while the server runs";
  Shell("wineserver -k");
  Shell("wineserver -w");
  EXPECT_EQ(RegisteredInWine().find("WKTorvida2.dll"), std::string::npos) << "after the server ended";
  std::ifstream library(programs() + "/WKTorvida2.dll", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(library), {}), fixture("torvida_1_2_3_9.dll"));
}

TEST_F(BatchWithWineTest, WithoutWinesRegistryToolTheRunSaysWhyAndWarns) {
  const std::string update = pack();
  fixtures::BatchRun result;
  {
    fixtures::WithoutWine noWine;
    result = run(update);
  }
  EXPECT_EQ(result.exitCode, 3);
  EXPECT_EQ(result.err, kWaitNotice);
  EXPECT_TRUE(result.out.contains(
      QStringLiteral("Le chemin C:\\WKelvaro\\Torvida\\Programs\\WKTorvida2.dll n'a pas pu être enregistré dans ") +
      kProgramEntry +
      QStringLiteral(" : Wine est en cours d'exécution dans ce préfixe et l'outil de registre de Wine est introuvable "
                     "(Wine n'est pas installé) : fermez ses programmes, puis recommencez.\n")))
      << result.out.toStdString();
  EXPECT_TRUE(result.out.endsWith(QStringLiteral("La mise à jour a été effectuée mais avec des avertissements !\n")))
      << result.out.toStdString();
  EXPECT_EQ(RegisteredInWine().find("WKTorvida2.dll"), std::string::npos);
}

}  // namespace

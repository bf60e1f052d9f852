// The address manager's update on a workstation whose product folder is a
// small file system that holds the installed library but not the new one: a
// whole run as the wizard makes it, with the report it writes, the outcome,
// and the installed files byte for byte as they were, no temporary file left
// behind.

#include <QRegularExpression>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "engine/engine_fixture.h"
#include "fixtures/small_file_system.h"
#include "support/registry_access.h"

// Reports that differ print as text, one entry a line.
inline void PrintTo(const QStringList& report, std::ostream* out) {
  for (const QString& line : report) *out << "\n  [" << line.toStdString() << "]";
}

namespace {

using namespace kelvaro;

const std::string kProgramFolder = "C:\\WKelvaro\\Torvida\\Programs";
const QString kProgramFolderText = QStringLiteral("C:\\WKelvaro\\Torvida\\Programs\\");

std::string Fixture(const std::string& name) {
  std::ifstream in(std::string(KELVARO_PE_FIXTURES) + "/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The fixture library grown with bytes after its image: still a newer
// version (the version resource is read from the image), but too large for
// the small file system.
std::string Grown(std::string library, size_t size) {
  library.resize(size, 'n');
  return library;
}

std::set<std::string> Entries(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

// The report's entries with the date and the temporary file names made
// constant.
QStringList Normalised(QStringList report) {
  for (QString& line : report) {
    line.replace(QRegularExpression(QStringLiteral("\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d")), QStringLiteral("<date>"));
    line.replace(QRegularExpression(QStringLiteral("C:\\\\users\\\\[^\\\\]+\\\\Temp\\\\Update\\d+\\.tmp")), QStringLiteral("<temp>"));
  }
  return report;
}

QStringList Copy(const QString& name) {
  return {QStringLiteral("Copie de <temp>"), QStringLiteral("vers ") + kProgramFolderText + name + QStringLiteral("\r\n")};
}
const QString kTitle = QStringLiteral("Mise à jour : Mise à jour Torvida  <date>\r\n");
const QString kFailed = QStringLiteral("\r\nLa mise à jour a échouée !");
const QString kUndone =
    QStringLiteral("Les fichiers et le registre ont été remis dans l'état où ils étaient avant la mise à jour.");

class FullDiskTest : public enginetest::EngineTest {};

TEST_F(FullDiskTest, AProductFolderTooSmallKeepsTheInstalledFiles) {
  const std::string oldLibrary = Fixture("torvida_1_2_3_9.dll");
  const std::string newLibrary = Fixture("torvida_2_0_0_0.dll");
  ASSERT_FALSE(oldLibrary.empty()) << "PE fixtures missing";
  const size_t tooLarge = 128 * 1024;  // the file system holds 64 KB
  const struct {
    const char* what;
    std::string carriedLibrary;
    size_t companionSize;
    std::string libraryAfter;
    QStringList report;
  } cases[] = {
      // ReplaceFile swallows the copy error: the attempt's two lines are all,
      // then the undoing of the run.
      {"the new library does not fit", Grown(newLibrary, tooLarge), 16, oldLibrary,
       QStringList{kTitle} + Copy(QStringLiteral("WKTorvida2.dll")) + QStringList{kUndone, kFailed}},
      // A companion copied directly: its error reaches the routine's handler,
      // and the library already replaced goes back with the rest.
      {"the library fits, a companion does not", newLibrary, tooLarge, oldLibrary,
       QStringList{kTitle} + Copy(QStringLiteral("WKTorvida2.dll")) + Copy(QStringLiteral("IBANKernel.dll")) +
           QStringList{QStringLiteral("Une erreur s'est produite lors de la mise à jour du IBANKernel.dll\r\n"
                                      "Source: <temp>\r\nTarget: ") +
                           kProgramFolderText +
                           QStringLiteral("IBANKernel.dll\r\n\r\nError: Erreur système.  Code : 112.\r\n"
                                          "Espace insuffisant sur le disque.\r\n"),
                       kUndone, kFailed}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    prefix.makeDirectory(kProgramFolder);
    const std::string folder = prefix.hostPath(kProgramFolder);
    fixtures::SmallFileSystem small(folder, "64k");
    if (!small.mounted()) GTEST_SKIP() << "cannot mount a tmpfs on the product folder (needs root): " << small.why();
    writeFile(kProgramFolder + "\\WKTorvida2.dll", oldLibrary, enginetest::Day(-1));
    ASSERT_TRUE(WriteRegistryValue(kHkeyCurrentUser, QStringLiteral("SOFTWARE\\KELVARO S.A.\\Torvida\\Program"),
                                   QStringLiteral("Filename"), kProgramFolderText + QStringLiteral("WKTorvida2.dll"),
                                   RegistryKind::String, true));
    std::map<QString, QByteArray> carried{{QStringLiteral("WKTorvida2.dll"), QByteArray::fromStdString(c.carriedLibrary)}};
    carried[QStringLiteral("IBANKernel.dll")] = QByteArray(qsizetype(c.companionSize), 'k');
    for (const char* companion : {"Torvida.chm", "ssleay32.dll", "libeay32.dll"})
      carried[QLatin1String(companion)] = QByteArray("carried ") + companion;
    carry(carried);
    // A fresh start of the program for each run.
    engine = std::make_unique<TdmUpdateCommon>();
    engine->InitLog(&scripted.user);
    report().clear();

    const RunUpdateOutcome outcome = RunUpdate(*engine, {QStringLiteral("Torvida")}, QStringLiteral("Mise à jour Torvida"));

    EXPECT_EQ(outcome.result, urtKo);
    EXPECT_FALSE(outcome.failed) << "the routine handles a failed copy itself";
    EXPECT_EQ(Normalised(report()), c.report);
    EXPECT_TRUE(scripted.user.shown.empty()) << "no message box: " << scripted.user.shown.front().text.toStdString();
    EXPECT_TRUE(read(kProgramFolder + "\\WKTorvida2.dll") == c.libraryAfter) << "the library is whole";
    // Nothing else: no half-written temporary file, no companion after the
    // failure.
    EXPECT_EQ(Entries(folder), std::set<std::string>{"WKTorvida2.dll"});
  }
}

}  // namespace

// ReadFileVersionInfo and GetFileVersionString on real PE files in a
// temporary prefix.
#include "engine/file_version.h"

#include <gtest/gtest.h>

#include "pe_fixture_files.h"

namespace kelvaro {
namespace {

using fixtures::InstallPeFixture;
using fixtures::TempPrefix;

std::vector<QString> Fields(const FileVersionInfo& i) {
  return {i.LangId,         i.LangName,       i.CharSet,          i.CompanyName, i.FileDescription,
          i.FileVersion,    i.InternalName,   i.LegalCopyRight,   i.LegalTradeMark,
          i.OriginalFileName, i.ProductName,  i.ProductVersion,   i.Comments};
}

struct InfoCase {
  const char* file;
  std::vector<QString> fields;  // the thirteen, in order
};

TEST(ReadFileVersionInfo, FillsTheThirteenFieldsInOrder) {
  TempPrefix prefix;
  const QString none;
  const std::vector<QString> empty = {none, QStringLiteral("Langue neutre"), none, none, none, none, none,
                                      none, none, none, none, none, none};
  const std::vector<InfoCase> cases = {
      {"torvida_1_2_3_10.dll",
       {QStringLiteral("040C"), QStringLiteral("Français (France)"), QStringLiteral("04E4"),
        QStringLiteral("KELVARO S.A."), QStringLiteral("Bibliothèque du gestionnaire d'adresses"),
        QStringLiteral("1.2.3.10"), QStringLiteral("WKTorvida2"), QStringLiteral("Copyright © KELVARO S.A. 1998-2026"),
        QStringLiteral("Torvida®"), QStringLiteral("WKTorvida2.dll"), QStringLiteral("Torvida - Sociétés"),
        QStringLiteral("1.2"), QStringLiteral("Édition réseau")}},
      // The standard "LegalTrademarks" is not the "LegalTradeMark" looked for;
      // the file has no "Comments".
      {"german32.dll",
       {QStringLiteral("0407"), QStringLiteral("Allemand (Allemagne)"), QStringLiteral("04B0"),
        QStringLiteral("Müller & Söhne GmbH"), QStringLiteral("Datenbank-Client"), QStringLiteral("WI-V3.0.11.33637"),
        QStringLiteral("gds32"), QStringLiteral("© Müller"), none, QStringLiteral("gds32.dll"),
        QStringLiteral("Datenbank"), QStringLiteral("3.0"), none}},
      {"neutral.dll",
       {QStringLiteral("0000"), QStringLiteral("Langue neutre"), QStringLiteral("04B0"), none, none,
        QStringLiteral("5.6.7.8"), none, none, none, none, QStringLiteral("Neutre"), none, none}},
      {"fixed_only.dll", empty},
      {"no_version.dll", empty},
      {"not_pe.dll", empty},
  };
  for (const InfoCase& c : cases) {
    SCOPED_TRACE(c.file);
    const QString path = InstallPeFixture(prefix, c.file, std::string("C:\\Kelvaro\\") + c.file);
    FileVersionInfo info;
    info.Comments = QStringLiteral("left over");  // every field is written, found or not
    ReadFileVersionInfo(path, info);
    EXPECT_EQ(Fields(info), c.fields);
  }
  FileVersionInfo missing;
  ReadFileVersionInfo(QStringLiteral("C:\\Kelvaro\\absent.dll"), missing);
  EXPECT_EQ(Fields(missing), empty);
}

TEST(GetFileVersionString, GivesFileVersionOrQuestionMark) {
  TempPrefix prefix;
  const struct {
    const char* file;
    const char* expected;
  } cases[] = {
      {"torvida_1_2_3_9.dll", "1.2.3.9"}, {"german32.dll", "WI-V3.0.11.33637"}, {"neutral.dll", "5.6.7.8"},
      {"fixed_only.dll", "?"},            {"no_version.dll", "?"},              {"not_pe.dll", "?"},
  };
  for (const auto& c : cases) {
    const QString path = InstallPeFixture(prefix, c.file, std::string("C:\\Kelvaro\\") + c.file);
    EXPECT_EQ(GetFileVersionString(path), QString::fromUtf8(c.expected)) << c.file;
  }
  EXPECT_EQ(GetFileVersionString(QStringLiteral("C:\\Kelvaro\\absent.dll")), QStringLiteral("?"));
}

TEST(GetFileVersionString, FindsABareLibraryNameInTheSystemFolderFirst) {
  TempPrefix prefix;
  EXPECT_EQ(GetFileVersionString(QStringLiteral("gds32.dll")), QStringLiteral("?"));
  InstallPeFixture(prefix, "torvida_1_2_3_9.dll", "C:\\windows\\gds32.dll");
  EXPECT_EQ(GetFileVersionString(QStringLiteral("gds32.dll")), QStringLiteral("1.2.3.9"));
  InstallPeFixture(prefix, "german32.dll", "C:\\windows\\system32\\GDS32.DLL");
  EXPECT_EQ(GetFileVersionString(QStringLiteral("gds32.dll")), QStringLiteral("WI-V3.0.11.33637"));
}

}  // namespace
}  // namespace kelvaro

// kelvaro-inspect version and compare, run as built on PE fixtures in a
// temporary prefix.
#include <gtest/gtest.h>


#include "engine/pe_fixture_files.h"
#include "fixtures/tool_run.h"

namespace {

using fixtures::InstallPeFixture;
using fixtures::TempPrefix;

using fixtures::ToolRun;

// Runs the tool in the prefix of the calling test (WINEPREFIX is inherited).
ToolRun Inspect(const QStringList& args) { return fixtures::RunTool(QStringLiteral(KELVARO_INSPECT), args, 30000); }

TEST(InspectVersion, PrintsTheThirteenFieldsThenTheFixedVersion) {
  TempPrefix prefix;
  InstallPeFixture(prefix, "torvida_1_2_3_10.dll", "C:\\WKelvaro\\Torvida\\Programs\\WKTorvida2.dll");
  const ToolRun run = Inspect({QStringLiteral("version"), QStringLiteral("c:\\wkelvaro\\torvida\\programs\\wktorvida2.dll")});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, QStringLiteral("LangId: 040C\n"
                                    "LangName: Français (France)\n"
                                    "CharSet: 04E4\n"
                                    "CompanyName: KELVARO S.A.\n"
                                    "FileDescription: Bibliothèque du gestionnaire d'adresses\n"
                                    "FileVersion: 1.2.3.10\n"
                                    "InternalName: WKTorvida2\n"
                                    "LegalCopyRight: Copyright © KELVARO S.A. 1998-2026\n"
                                    "LegalTradeMark: Torvida®\n"
                                    "OriginalFileName: WKTorvida2.dll\n"
                                    "ProductName: Torvida - Sociétés\n"
                                    "ProductVersion: 1.2\n"
                                    "Comments: Édition réseau\n"
                                    "Fixed: 1.2.3.10\n"));
}

TEST(InspectVersion, FileWithoutVersionHasEmptyFieldsAndNoFixedVersion) {
  TempPrefix prefix;
  InstallPeFixture(prefix, "no_version.dll", "C:\\A\\plain.dll");
  const ToolRun run = Inspect({QStringLiteral("version"), QStringLiteral("C:\\A\\plain.dll")});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, QStringLiteral("LangId: \nLangName: Langue neutre\nCharSet: \nCompanyName: \n"
                                    "FileDescription: \nFileVersion: \nInternalName: \nLegalCopyRight: \n"
                                    "LegalTradeMark: \nOriginalFileName: \nProductName: \nProductVersion: \n"
                                    "Comments: \nFixed: none\n"));
}

// The wizard is an ELF program: it carries its version resource in a section
// of its own, which the version functions read as they read a PE resource.
TEST(InspectVersion, TheWizardCarriesTheVersionItIsBuiltWith) {
  TempPrefix prefix;  // its z: drive is the host's root
  const QString wizard =
      QStringLiteral("Z:") + QStringLiteral(KELVARO_UPDATE).replace(QLatin1Char('/'), QLatin1Char('\\'));
  const ToolRun run = Inspect({QStringLiteral("version"), wizard});
  EXPECT_EQ(run.exitCode, 0);
  const QString version = QStringLiteral(KELVARO_PROGRAM_VERSION);
  EXPECT_EQ(run.out, QStringLiteral("LangId: 040C\nLangName: Fran\u00e7ais (France)\nCharSet: 04E4\n"
                                    "CompanyName: Kelvaro\nFileDescription: Mise \u00e0 jour Kelvaro\n"
                                    "FileVersion: ") +
                         version +
                         QStringLiteral("\nInternalName: kelvaro-update\nLegalCopyRight: \nLegalTradeMark: \n"
                                        "OriginalFileName: kelvaro-update\nProductName: Kelvaro\nProductVersion: ") +
                         version + QStringLiteral("\nComments: \nFixed: ") + version + QStringLiteral("\n"));
}

TEST(InspectCompare, PrintsTheDecisionOrTheError) {
  TempPrefix prefix;
  InstallPeFixture(prefix, "torvida_1_2_3_9.dll", "C:\\A\\v9.dll");
  InstallPeFixture(prefix, "torvida_1_2_3_10.dll", "C:\\A\\v10.dll");
  const struct {
    const char* installed;
    const char* carried;
    int exitCode;
    const char* out;
    const char* err;
  } cases[] = {
      {"C:\\A\\v9.dll", "C:\\A\\v10.dll", 0, "1\n", ""},
      {"C:\\A\\v10.dll", "C:\\A\\v9.dll", 0, "-1\n", ""},
      {"C:\\A\\v10.dll", "C:\\A\\v10.dll", 0, "0\n", ""},
      {"C:\\A\\absent.dll", "C:\\A\\v9.dll", 0, "1\n", ""},
      {"C:\\A\\v9.dll", "C:\\A\\Update1.tmp", 1, "", "File not found : C:\\A\\Update1.tmp\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.installed) + " / " + c.carried);
    const ToolRun run = Inspect({QStringLiteral("compare"), QString::fromUtf8(c.installed), QString::fromUtf8(c.carried)});
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_EQ(run.out, QString::fromUtf8(c.out));
    EXPECT_EQ(run.err, QString::fromUtf8(c.err));
  }
  EXPECT_EQ(Inspect({QStringLiteral("compare"), QStringLiteral("C:\\A\\v9.dll")}).exitCode, 2);
}

}  // namespace

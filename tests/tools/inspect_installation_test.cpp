// kelvaro-inspect without arguments: the installation section shows the
// registered programs, the products root and the companies, and changes
// nothing (the obsolete machine key an update removes stays).
#include <gtest/gtest.h>

#include <QProcess>
#include <fstream>
#include <sstream>

#include "fixtures/temp_prefix.h"

#if defined(KELVARO_INSPECT)

namespace {

QString Overview() {
  QProcess tool;
  tool.start(QStringLiteral(KELVARO_INSPECT), {});
  EXPECT_TRUE(tool.waitForFinished(60000));
  return QString::fromUtf8(tool.readAllStandardOutput());
}

TEST(InspectInstallation, ShowsProgramsRootAndCompanies) {
  fixtures::TempPrefix prefix;
  prefix.makeDirectory("C:\\WKelvaro\\Torvida\\Programs");
  prefix.appendUserReg(
      "\n[Software\\\\KELVARO S.A.\\\\Torvida\\\\Program] 1796862791\n#time=1dd883e092ec922\n"
      "\"Filename\"=\"C:\\\\WKelvaro\\\\Torvida\\\\Programs\\\\WKTorvida2.dll\"\n");
  prefix.appendSystemReg("\n[Software\\\\KELVARO S.A.\\\\MultiSte] 1796862791\n#time=1dd883e092ec922\n\"Actif\"=dword:00000001\n");
  prefix.writeFile("C:\\WKelvaro\\multiste.txt", "Soci\xe9t\xe9 A\r\n\r\nB\r\n");

  const QStringList lines = Overview().split(QLatin1Char('\n'));
  EXPECT_TRUE(lines.contains(QStringLiteral("Program Torvida\tC:\\WKelvaro\\Torvida\\Programs\\WKTorvida2.dll")));
  EXPECT_TRUE(lines.contains(QStringLiteral("Products root\tC:\\WKelvaro\\")));
  EXPECT_TRUE(lines.contains(QStringLiteral("Company file\tC:\\wkelvaro\\multiste.txt")));
  const qsizetype first = lines.indexOf(QStringLiteral("Company\tSociété A"));
  ASSERT_GE(first, 0);
  EXPECT_EQ(lines.mid(first, 3), (QStringList{QStringLiteral("Company\tSociété A"), QStringLiteral("Company\tDefault (empty line)"),
                                              QStringLiteral("Company\tB")}));
  std::ifstream in(prefix.root() + "/system.reg");
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find("MultiSte"), std::string::npos) << "inspecting changed the registry";
}

TEST(InspectInstallation, NothingInstalled) {
  fixtures::TempPrefix prefix;
  const QStringList lines = Overview().split(QLatin1Char('\n'));
  EXPECT_TRUE(lines.contains(QStringLiteral("Products root\t(aucun)")));
  EXPECT_TRUE(lines.contains(QStringLiteral("Company file\t(aucun)")));
  EXPECT_TRUE(lines.contains(QStringLiteral("Company\tDefault (no company file)")));
}

}  // namespace

#endif

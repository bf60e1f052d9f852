// TWindowsInstaller on real PE files in a temporary prefix: the numeric
// version, the comparison by versions then dates, the temporary folder.
#include "engine/windows_installer.h"

#include <gtest/gtest.h>

#include <optional>

#include "pe_fixture_files.h"
#include "platform/files.h"
#include "support/errors.h"
#include "support/text.h"

namespace kelvaro {
namespace {

using fixtures::InstallPeFixture;
using fixtures::TempPrefix;

constexpr platform::FileTime kDay = 864000000000ULL;
constexpr platform::FileTime kMonday = 133500000000000000ULL;

TEST(TWindowsInstaller, KeepsTheToolsPath) {
  EXPECT_EQ(TWindowsInstaller(QStringLiteral("C:\\Tools\\")).ToolsPath(), QStringLiteral("C:\\Tools\\"));
}

TEST(TWindowsInstaller, GetFileVersionSplitsTheFixedVersion) {
  TempPrefix prefix;
  TWindowsInstaller installer{QString()};
  const struct {
    const char* file;
    bool found;
    uint16_t v[4];
  } cases[] = {
      {"torvida_1_2_3_10.dll", true, {1, 2, 3, 10}},
      {"torvida_1_65535_0_0.dll", true, {1, 65535, 0, 0}},
      {"german32.dll", true, {3, 0, 11, 33637}},
      {"fixed_only.dll", true, {4, 3, 2, 1}},
      // Without a fixed version the outputs stay as they were.
      {"no_version.dll", false, {7, 7, 7, 7}},
      {"not_pe.dll", false, {7, 7, 7, 7}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const QString path = InstallPeFixture(prefix, c.file, std::string("C:\\P\\") + c.file);
    uint16_t v1 = 7, v2 = 7, v3 = 7, v4 = 7;
    EXPECT_EQ(installer.GetFileVersion(path, v1, v2, v3, v4), c.found);
    EXPECT_EQ((std::vector<uint16_t>{v1, v2, v3, v4}), (std::vector<uint16_t>{c.v[0], c.v[1], c.v[2], c.v[3]}));
  }
  uint16_t v1 = 7, v2 = 7, v3 = 7, v4 = 7;
  EXPECT_FALSE(installer.GetFileVersion(QStringLiteral("C:\\P\\absent.dll"), v1, v2, v3, v4));
  EXPECT_EQ(v1 + v2 + v3 + v4, 28);
}

// One side of a comparison: a fixture copied in with a last-write time, a
// folder, or nothing at all.
struct Side {
  const char* fixture = nullptr;  // null: no file
  platform::FileTime time = kMonday;
  bool folder = false;
};

struct CompareCase {
  const char* what;
  Side current;
  Side candidate;
  int expected;
};

class CompareFileVersionTest : public ::testing::Test {
 protected:
  QString place(const Side& side, const std::string& windowsPath) {
    if (side.folder) prefix_.makeDirectory(windowsPath);
    if (side.fixture) {
      InstallPeFixture(prefix_, side.fixture, windowsPath);
      EXPECT_TRUE(platform::SetFileLastWriteTime(toW(QString::fromStdString(windowsPath)), side.time));
    }
    return QString::fromStdString(windowsPath);
  }

  TempPrefix prefix_;
  TWindowsInstaller installer_{QString()};
};

TEST_F(CompareFileVersionTest, DecidesByVersionsThenDates) {
  const Side v9{"torvida_1_2_3_9.dll"}, v10{"torvida_1_2_3_10.dll"};
  const Side v1_2_4_0{"torvida_1_2_4_0.dll"};
  const Side v2{"torvida_2_0_0_0.dll"}, v1_65535{"torvida_1_65535_0_0.dll"};
  const Side v10Later{"torvida_1_2_3_10.dll", kMonday + kDay};
  const Side plain{"not_pe.dll"}, plainLater{"not_pe.dll", kMonday + kDay};
  const Side noVersionLater{"no_version.dll", kMonday + kDay};
  const Side missing{}, folder{nullptr, kMonday, true};
  const std::vector<CompareCase> cases = {
      {"carried newer by its last part, numerically", v9, v10, 1},
      {"installed newer", v10, v9, -1},
      // The third part outweighs the fourth inside the low word.
      {"installed newer by its third part", v1_2_4_0, v10, -1},
      {"carried newer by its third part", v10, v1_2_4_0, 1},
      {"MS words compared first", v2, v1_65535, -1},
      {"MS words, the other way", v1_65535, v2, 1},
      {"same version, carried dated later: versions decide", v10, v10Later, 0},
      {"same version, installed dated later", v10Later, v10, 0},
      {"installed without version, carried later", plain, v10Later, 1},
      {"installed without version, carried earlier", plainLater, v10, -1},
      {"installed without version, same date", plain, v10, 0},
      {"carried without version: dates too", v10Later, noVersionLater, 0},
      {"neither has a version, carried earlier", plainLater, plain, -1},
      {"installed missing", missing, v9, 1},
      {"installed missing, carried without version", missing, plain, 1},
      {"installed is a folder", folder, v9, 1},
  };
  int index = 0;
  for (const CompareCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string folderName = "C:\\Case" + std::to_string(index++) + "\\";
    const QString current = place(c.current, folderName + "Installed\\WKTorvida2.dll");
    const QString candidate = place(c.candidate, folderName + "Temp\\Update1.tmp");
    EXPECT_EQ(installer_.CompareFileVersion(current, candidate), c.expected);
  }
}

TEST_F(CompareFileVersionTest, InstalledNameWithTrailingBackslashStillExists) {
  const QString current = place({"torvida_1_2_3_10.dll"}, "C:\\A\\Installed.dll");
  const QString candidate = place({"torvida_1_2_3_9.dll"}, "C:\\A\\Carried.dll");
  EXPECT_EQ(installer_.CompareFileVersion(current + QLatin1Char('\\'), candidate), -1);
  EXPECT_EQ(installer_.CompareFileVersion(QStringLiteral("C:\\"), candidate), 1) << "a drive root is a folder";
}

TEST_F(CompareFileVersionTest, MissingCarriedFileRaisesEvenWhenInstalledIsMissing) {
  const QString installed = place({"torvida_1_2_3_9.dll"}, "C:\\B\\Installed.dll");
  const QString carriedFolder = place({nullptr, kMonday, true}, "C:\\B\\Folder.tmp");
  for (const QString& current : {installed, QStringLiteral("C:\\B\\Absent.dll")}) {
    for (const QString& carried : {QStringLiteral("C:\\B\\Update7.tmp"), carriedFolder}) {
      try {
        installer_.CompareFileVersion(current, carried);
        ADD_FAILURE() << "no exception for " << carried.toStdString();
      } catch (const Error& e) {
        EXPECT_EQ(e.message(), QStringLiteral("File not found : ") + carried);
      }
    }
  }
}

TEST(TWindowsInstaller, GetTempPathIsTheUsersTempFolderWithABackslash) {
  TempPrefix prefix;  // TEMP is C:\users\<user>\Temp, without the backslash
  const QString temp = TWindowsInstaller(QString()).GetTempPath();
  EXPECT_TRUE(temp.startsWith(QStringLiteral("C:\\users\\"), Qt::CaseInsensitive)) << temp.toStdString();
  EXPECT_TRUE(temp.endsWith(QStringLiteral("\\Temp\\"))) << temp.toStdString();
}

}  // namespace
}  // namespace kelvaro

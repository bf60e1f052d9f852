// Drives as the prefix's dosdevices links make them: types from the
// registry, dangling links, a missing prefix, and host paths mapped back.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fixtures/temp_prefix.h"
#include "platform/files.h"
#include "platform/prefix/prefix.h"

namespace {

namespace fs = std::filesystem;
using platform::String;

std::string Utf8(const String& s) {
  std::string out;
  for (char16_t c : s) {
    if (c < 0x80) out.push_back(char(c));
    else out += "?";
  }
  return out;
}

TEST(DriveLinksTest, TypesComeFromTheWineDrivesKey) {
  fixtures::TempPrefix prefix;
  fixtures::TempDir hosts;
  const struct {
    char letter;
    const char* type;
    uint32_t expected;
  } cases[] = {
      {'d', "cdrom", platform::kDriveCdrom},      {'e', "floppy", platform::kDriveRemovable},
      {'f', "network", platform::kDriveRemote},   {'g', "ramdisk", platform::kDriveRamdisk},
      {'h', "hd", platform::kDriveFixed},         {'i', "", platform::kDriveFixed},
      {'j', "CDROM", platform::kDriveCdrom},      {'k', "laser", platform::kDriveFixed},
  };
  for (const auto& c : cases) prefix.addDrive(c.letter, hosts.path() + "/" + c.letter, c.type);
  for (const auto& c : cases) {
    const String root = String(1, char16_t(c.letter - 32)) + u":\\";
    EXPECT_EQ(platform::GetDriveType(root), c.expected) << c.letter << ": " << c.type;
  }
  EXPECT_EQ(platform::GetLogicalDriveStrings(),
            (std::vector<String>{u"C:\\", u"D:\\", u"E:\\", u"F:\\", u"G:\\", u"H:\\", u"I:\\", u"J:\\", u"K:\\",
                                 u"Z:\\"}));
  EXPECT_EQ(platform::GetDriveType(u"C:\\Windows\\"), platform::kDriveNoRootDir);
  EXPECT_EQ(platform::GetDriveType(u""), platform::kDriveNoRootDir);
}

TEST(DriveLinksTest, ADanglingLinkIsAnAbsentDrive) {
  fixtures::TempPrefix prefix;
  fs::create_symlink("/nonexistent/kelvaro-cdrom", prefix.root() + "/dosdevices/e:");
  prefix.setDriveType('e', "cdrom");
  EXPECT_EQ(platform::GetDriveType(u"E:\\"), platform::kDriveNoRootDir);
  EXPECT_EQ(platform::GetLogicalDriveStrings(), (std::vector<String>{u"C:\\", u"Z:\\"}));
  std::string bytes;
  EXPECT_FALSE(platform::ReadFileContents(u"E:\\setup\\MajTorvida.exe", &bytes));
  EXPECT_EQ(platform::GetLastError(), platform::kErrorPathNotFound);
  EXPECT_FALSE(platform::WriteFileContents(u"E:\\x.txt", "x"));
  EXPECT_EQ(platform::GetLastError(), platform::kErrorPathNotFound);
  EXPECT_FALSE(platform::CreateDirectoryTree(u"E:\\WKelvaro"));
  EXPECT_EQ(platform::GetLastError(), platform::kErrorPathNotFound);
  EXPECT_TRUE(platform::ToNativePath(u"E:\\x.txt").empty());
}

TEST(DriveLinksTest, AMissingPrefixHasNoDrives) {
  fixtures::TempPrefix prefix;  // restores WINEPREFIX afterwards
  setenv("WINEPREFIX", (prefix.root() + "/not-made-yet").c_str(), 1);
  EXPECT_TRUE(platform::GetLogicalDriveStrings().empty());
  EXPECT_EQ(platform::GetDriveType(u"C:\\"), platform::kDriveNoRootDir);
  EXPECT_EQ(platform::GetFileAttributes(u"C:\\windows"), platform::kInvalidFileAttributes);
  EXPECT_EQ(platform::GetLastError(), platform::kErrorPathNotFound);
  EXPECT_TRUE(platform::GetWindowsDirectory().empty());
  EXPECT_TRUE(platform::FromNativePath("/usr").empty());
  EXPECT_TRUE(platform::GetModuleFileName().empty());
  EXPECT_TRUE(platform::FindFiles(u"C:\\", u"*").empty());
  EXPECT_FALSE(fs::exists(prefix.root() + "/not-made-yet"));
}

TEST(DriveLinksTest, ComponentsResolveIgnoringCase) {
  fixtures::TempPrefix prefix;
  prefix.writeFile("C:\\Kelvaro\\MultiSte.txt", "x");
  const std::string c = fs::canonical(prefix.driveC()).string();
  const struct {
    String windows;
    std::string host;
  } cases[] = {
      {u"C:\\kelvaro\\multiste.TXT", c + "/Kelvaro/MultiSte.txt"},
      {u"c:/KELVARO/New Folder/File.TXT", c + "/Kelvaro/New Folder/File.TXT"},
      {u"C:\\..\\..\\WINDOWS\\.\\System32", c + "/windows/system32"},
      {u"C:", c},
      {u"\\\\?\\C:\\Kelvaro", c + "/Kelvaro"},
  };
  for (const auto& row : cases) {
    std::string host;
    ASSERT_TRUE(platform::prefix::ResolvePath(row.windows, &host)) << Utf8(row.windows);
    EXPECT_EQ(host, row.host) << Utf8(row.windows);
  }
  for (const String invalid : {u"Kelvaro\\MultiSte.txt", u"\\\\server\\share\\a.txt", u"C:\\a|b", u"1:\\x"}) {
    std::string host;
    EXPECT_FALSE(platform::prefix::ResolvePath(invalid, &host)) << Utf8(invalid);
    EXPECT_EQ(platform::GetLastError(), platform::kErrorInvalidName) << Utf8(invalid);
  }
}

TEST(DriveLinksTest, HostPathsMapToTheClosestDrive) {
  fixtures::TempPrefix prefix;
  fixtures::TempDir elsewhere;
  const std::string c = fs::canonical(prefix.driveC()).string();
  prefix.addDrive('d', c + "/Data");
  prefix.writeFile("C:\\Data\\Société\\base.fdb", "x");
  fs::create_symlink(c, elsewhere.path() + "/link-to-c");
  const struct {
    std::string host;
    String windows;
  } cases[] = {
      {c + "/windows", u"C:\\windows"},
      {c, u"C:\\"},
      {c + "/Data/Société/base.fdb", u"D:\\Société\\base.fdb"},
      // A folder whose name merely begins with the drive's is not on it.
      {c + "/DataOld/x", u"C:\\DataOld\\x"},
      {c + "/Data/../windows/new.ini", u"C:\\windows\\new.ini"},
      {elsewhere.path() + "/link-to-c/windows", u"C:\\windows"},
      {"/usr/bin", u"Z:\\usr\\bin"},
  };
  for (const auto& row : cases) {
    EXPECT_EQ(platform::FromNativePath(row.host), row.windows) << row.host;
  }
  fs::remove(prefix.root() + "/dosdevices/z:");
  EXPECT_TRUE(platform::FromNativePath("/usr/bin").empty());
  EXPECT_EQ(platform::GetLastError(), platform::kErrorPathNotFound);
}

TEST(DriveLinksTest, WindowsFolderMustExist) {
  fixtures::TempPrefix prefix;
  EXPECT_EQ(platform::GetWindowsDirectory(), u"C:\\windows");
  fs::remove_all(prefix.driveC() + "/windows");
  EXPECT_TRUE(platform::GetWindowsDirectory().empty());
  EXPECT_EQ(platform::GetLastError(), platform::kErrorPathNotFound);
}

TEST(DriveLinksTest, AFolderVanishingUnderneathGivesPathNotFound) {
  fixtures::TempPrefix prefix;
  prefix.writeFile("C:\\Work\\a.txt", "a");
  ASSERT_TRUE(platform::FileExists(u"C:\\work\\A.TXT"));
  fs::remove_all(prefix.driveC() + "/Work");
  EXPECT_FALSE(platform::WriteFileContents(u"C:\\work\\a.txt", "b"));
  EXPECT_EQ(platform::GetLastError(), platform::kErrorPathNotFound);
  EXPECT_TRUE(platform::FindFiles(u"C:\\work", u"*").empty());
  EXPECT_EQ(platform::GetLastError(), platform::kErrorPathNotFound);
  EXPECT_FALSE(platform::DeleteFilesByMask(u"C:\\work", u"*.tmp"));
  EXPECT_EQ(platform::GetLastError(), platform::kErrorPathNotFound);
}

}  // namespace

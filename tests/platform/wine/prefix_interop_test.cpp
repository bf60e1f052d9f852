// The layer and the real Wine agree on a prefix that `wineboot -i` made:
// drives, the Windows and temporary folders, the version, the computer and
// user names, file names across letter case, and the read-only and archive
// attributes.
// Each fact the layer gives is compared with what a Windows program run by
// Wine in that prefix sees.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/files.h"
#include "platform/prefix/host_text.h"
#include "platform/system.h"

namespace {

using platform::String;
using platform::prefix::HostText;
using platform::prefix::WindowsText;

// Runs "wine cmd /c <command>" in the prefix; its output without the final
// line break (cmd writes CR LF).
std::string WineCmd(const std::string& command) {
  const std::string line = "wine cmd /c \"" + command + "\" 2>/dev/null";
  std::string output;
  if (FILE* pipe = popen(line.c_str(), "r")) {
    std::array<char, 4096> buffer;
    size_t count;
    while ((count = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) output.append(buffer.data(), count);
    pclose(pipe);
  }
  while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
  return output;
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

class PrefixInteropTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const char* prefix = std::getenv("KELVARO_WINE_PREFIX");
    if (!prefix || !*prefix) return;
    setenv("WINEPREFIX", prefix, 1);
    setenv("WINEDEBUG", "-all", 1);
    // One server for the whole suite: each wine call then starts in
    // hundredths of a second.
    std::system("wineserver -p 2>/dev/null");
  }
  static void TearDownTestSuite() { std::system("wineserver -k 2>/dev/null"); }

  void SetUp() override {
    const char* prefix = std::getenv("KELVARO_WINE_PREFIX");
    if (!prefix || !*prefix) GTEST_SKIP() << "KELVARO_WINE_PREFIX names no prefix made by wineboot";
  }
};

TEST_F(PrefixInteropTest, DrivesAreThoseOfWine) {
  const auto drives = platform::GetLogicalDriveStrings();
  ASSERT_GE(drives.size(), 2u);
  EXPECT_EQ(drives.front(), u"C:\\");
  EXPECT_EQ(drives.back(), u"Z:\\");
  EXPECT_EQ(platform::GetDriveType(u"C:\\"), platform::kDriveFixed);
  // Wine's z: is the host's root: the same host folder seen both ways.
  EXPECT_EQ(platform::ToNativePath(u"Z:\\usr\\bin"), "/usr/bin");
  EXPECT_EQ(Upper(WineCmd("if exist Z:\\usr\\bin\\ echo yes")), "YES");
}

TEST_F(PrefixInteropTest, WindowsAndTemporaryFoldersMatchWine) {
  EXPECT_EQ(Upper(HostText(platform::GetWindowsDirectory())), Upper(WineCmd("echo %windir%")));
  const std::string temp = HostText(platform::GetTempPath());
  EXPECT_EQ(Upper(temp), Upper(WineCmd("echo %TEMP%") + "\\"));
}

TEST_F(PrefixInteropTest, NamesMatchWine) {
  String computer;
  ASSERT_TRUE(platform::GetComputerName(&computer));
  EXPECT_EQ(HostText(computer), WineCmd("echo %COMPUTERNAME%"));
  String user;
  ASSERT_TRUE(platform::GetUserName(&user));
  EXPECT_EQ(HostText(user), WineCmd("echo %USERNAME%"));
}

TEST_F(PrefixInteropTest, VersionMatchesWhatWineReports) {
  // "Microsoft Windows 6.1.7601" for a new prefix.
  const std::string ver = WineCmd("ver");
  const platform::WindowsVersion version = platform::GetWindowsVersion();
  const std::string mine = std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
                           std::to_string(version.build);
  EXPECT_NE(ver.find(mine), std::string::npos) << ver << " vs " << mine;
}

TEST_F(PrefixInteropTest, FilesWrittenOnOneSideAreFoundOnTheOther) {
  ASSERT_TRUE(platform::CreateDirectoryTree(u"C:\\Kelvaro-Interop\\Société"));
  ASSERT_TRUE(platform::WriteFileContents(u"C:\\Kelvaro-Interop\\Société\\MultiSte.txt", "from the layer"));
  EXPECT_EQ(WineCmd("type C:\\KELVARO-INTEROP\\SOCIÉTÉ\\multiste.TXT"), "from the layer");

  WineCmd("mkdir C:\\Kelvaro-Interop\\FromWine & echo from wine> C:\\Kelvaro-Interop\\FromWine\\File.TXT");
  std::string bytes;
  ASSERT_TRUE(platform::ReadFileContents(u"c:\\kelvaro-interop\\fromwine\\file.txt", &bytes));
  EXPECT_EQ(bytes, "from wine\r\n");
  const auto found = platform::FindFiles(u"C:\\Kelvaro-Interop\\FromWine", u"*.txt");
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].name, u"File.TXT");
}

TEST_F(PrefixInteropTest, ReadOnlyMeansTheSameToWine) {
  ASSERT_TRUE(platform::CreateDirectoryTree(u"C:\\Kelvaro-Interop"));
  ASSERT_TRUE(platform::WriteFileContents(u"C:\\Kelvaro-Interop\\ro.txt", "x"));
  WineCmd("attrib +r C:\\Kelvaro-Interop\\ro.txt");
  EXPECT_NE(platform::GetFileAttributes(u"C:\\Kelvaro-Interop\\ro.txt") & platform::kAttributeReadOnly, 0u);
  EXPECT_FALSE(platform::DeleteFile(u"C:\\Kelvaro-Interop\\ro.txt"));
  EXPECT_EQ(platform::GetLastError(), platform::kErrorAccessDenied);

  ASSERT_TRUE(platform::SetFileAttributes(u"C:\\Kelvaro-Interop\\ro.txt", platform::kAttributeNormal));
  // attrib lists "A" for a file Wine sees as an archive: so does the layer.
  const std::string listed = WineCmd("attrib C:\\Kelvaro-Interop\\ro.txt");
  EXPECT_EQ(listed.find(" R "), std::string::npos) << listed;
  EXPECT_EQ(listed.rfind("A", 0), 0u) << listed;
  EXPECT_EQ(platform::GetFileAttributes(u"C:\\Kelvaro-Interop\\ro.txt"), platform::kAttributeArchive);
  ASSERT_TRUE(platform::SetFileAttributes(u"C:\\Kelvaro-Interop\\ro.txt", platform::kAttributeReadOnly));
  EXPECT_NE(WineCmd("attrib C:\\Kelvaro-Interop\\ro.txt").find("R"), std::string::npos);
  platform::SetFileAttributes(u"C:\\Kelvaro-Interop\\ro.txt", platform::kAttributeNormal);
}

}  // namespace

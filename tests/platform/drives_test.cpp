// Drives, well-known folders and the paths between this system and the host.
#include <algorithm>

#include "platform/conformance.h"
#include "platform/files.h"

namespace {

using conformance::ConformanceTest;
using conformance::Utf8;
using platform::String;

// Letter case folded for ASCII and Latin-1 letters, enough for the names
// used here ("é" and "É" are one letter to Windows).
String Upper(String s) {
  for (char16_t& c : s) {
    if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) c = char16_t(c - 32);
  }
  return s;
}

using DrivesTest = ConformanceTest;

TEST_F(DrivesTest, DriveCIsAFixedDriveAndAMissingLetterHasNoRoot) {
  const auto drives = platform::GetLogicalDriveStrings();
  ASSERT_NE(std::find(drives.begin(), drives.end(), u"C:\\"), drives.end());
  EXPECT_TRUE(std::is_sorted(drives.begin(), drives.end()));
  for (const String root : {u"C:\\", u"c:\\", u"C:"}) {
    EXPECT_EQ(platform::GetDriveType(root), platform::kDriveFixed) << Utf8(root);
  }
  char16_t missing = 0;
  for (char16_t letter = u'Y'; letter > u'C' && !missing; --letter) {
    if (std::find(drives.begin(), drives.end(), String(1, letter) + u":\\") == drives.end()) missing = letter;
  }
  ASSERT_NE(missing, 0);
  EXPECT_EQ(platform::GetDriveType(String(1, missing) + u":\\"), platform::kDriveNoRootDir);
  EXPECT_EQ(platform::GetFileAttributes(String(1, missing) + u":\\file.txt"), platform::kInvalidFileAttributes);
  EXPECT_EQ(platform::GetLastError(), platform::kErrorPathNotFound);
}

TEST_F(DrivesTest, WindowsAndTemporaryFoldersExist) {
  const String windows = platform::GetWindowsDirectory();
  EXPECT_EQ(Upper(windows), u"C:\\WINDOWS");
  EXPECT_TRUE(platform::DirectoryExists(windows));

  const String temp = platform::GetTempPath();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), u'\\');
  EXPECT_EQ(temp[1], u':');
  EXPECT_TRUE(platform::DirectoryExists(temp));
}

TEST_F(DrivesTest, ModuleFileNameNamesTheRunningExecutable) {
  const String module = platform::GetModuleFileName();
  ASSERT_GE(module.size(), 4u);
  EXPECT_EQ(module.substr(1, 2), u":\\");
  EXPECT_TRUE(platform::FileExists(module)) << Utf8(module);
}

TEST_F(DrivesTest, NativePathsRoundTrip) {
  writeFile(inSandbox(u"Société.txt"), "x");
  const std::string native = platform::ToNativePath(inSandbox(u"SOCIÉTÉ.TXT"));
  ASSERT_FALSE(native.empty());
  const String back = platform::FromNativePath(native);
  EXPECT_EQ(Upper(back), Upper(inSandbox(u"Société.txt")));
  EXPECT_TRUE(platform::FileExists(back));
}

}  // namespace

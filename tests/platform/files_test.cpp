// Files and folders by Windows path: the codes and effects CreateFileW,
// CopyFileW, MoveFileExW, DeleteFileW and their neighbours give.
#include <algorithm>
#include <functional>

#include "platform/conformance.h"
#include "platform/files.h"

namespace {

using conformance::ConformanceTest;
using conformance::Utf8;
using platform::String;

// FindFiles in name order, letter case ignored (the order of a listing is
// the file system's own).
std::vector<platform::FindData> SortedFind(const String& folder, const String& mask) {
  auto found = platform::FindFiles(folder, mask);
  auto key = [](String s) {
    for (char16_t& c : s) {
      if (c >= u'a' && c <= u'z') c = char16_t(c - 32);
    }
    return s;
  };
  std::sort(found.begin(), found.end(), [&](const auto& a, const auto& b) { return key(a.name) < key(b.name); });
  return found;
}

class FilesTest : public ConformanceTest {
 public:
  // The table's cases reach the sandbox through the fixture.
  using ConformanceTest::inSandbox;
  using ConformanceTest::writeFile;

 protected:
  bool anyTemporaryLeft() {
    return !platform::FindFiles(sandbox(), u"~kvtmp*").empty();
  }
};

// A failing call and the code it must leave.
struct FailureCase {
  const char* what;
  std::function<void(FilesTest&)> prepare;
  std::function<bool(FilesTest&)> call;
  uint32_t code;
};

TEST_F(FilesTest, FailuresGiveTheWindowsCodes) {
  const std::vector<FailureCase> cases = {
      {"read a missing file", nullptr,
       [](FilesTest& t) { std::string b; return platform::ReadFileContents(t.inSandbox(u"absent.txt"), &b); },
       platform::kErrorFileNotFound},
      {"read in a missing folder", nullptr,
       [](FilesTest& t) { std::string b; return platform::ReadFileContents(t.inSandbox(u"nowhere\\a.txt"), &b); },
       platform::kErrorPathNotFound},
      {"read a folder", [](FilesTest& t) { platform::CreateDirectoryTree(t.inSandbox(u"sub")); },
       [](FilesTest& t) { std::string b; return platform::ReadFileContents(t.inSandbox(u"sub"), &b); },
       platform::kErrorAccessDenied},
      {"attributes of a name with a wildcard", nullptr,
       [](FilesTest& t) { return platform::GetFileAttributes(t.inSandbox(u"a*b.txt")) != platform::kInvalidFileAttributes; },
       platform::kErrorInvalidName},
      {"attributes in a missing folder", nullptr,
       [](FilesTest& t) { return platform::GetFileAttributes(t.inSandbox(u"x\\y.txt")) != platform::kInvalidFileAttributes; },
       platform::kErrorPathNotFound},
      {"write in a missing folder", nullptr,
       [](FilesTest& t) { return platform::WriteFileContents(t.inSandbox(u"x\\y.txt"), "data"); },
       platform::kErrorPathNotFound},
      {"write over a folder", [](FilesTest& t) { platform::CreateDirectoryTree(t.inSandbox(u"sub")); },
       [](FilesTest& t) { return platform::WriteFileContents(t.inSandbox(u"sub"), "data"); },
       platform::kErrorAccessDenied},
      {"delete a missing file", nullptr, [](FilesTest& t) { return platform::DeleteFile(t.inSandbox(u"absent.txt")); },
       platform::kErrorFileNotFound},
      {"delete a folder as a file", [](FilesTest& t) { platform::CreateDirectoryTree(t.inSandbox(u"sub")); },
       [](FilesTest& t) { return platform::DeleteFile(t.inSandbox(u"sub")); }, platform::kErrorAccessDenied},
      {"delete a read-only file",
       [](FilesTest& t) {
         t.writeFile(t.inSandbox(u"ro.txt"), "x");
         platform::SetFileAttributes(t.inSandbox(u"ro.txt"), platform::kAttributeReadOnly);
       },
       [](FilesTest& t) { return platform::DeleteFile(t.inSandbox(u"ro.txt")); }, platform::kErrorAccessDenied},
      {"copy a missing source", nullptr,
       [](FilesTest& t) { return platform::CopyFile(t.inSandbox(u"absent.txt"), t.inSandbox(u"b.txt"), false); },
       platform::kErrorFileNotFound},
      {"copy over an existing file when refused",
       [](FilesTest& t) { t.writeFile(t.inSandbox(u"a.txt"), "a"); t.writeFile(t.inSandbox(u"b.txt"), "b"); },
       [](FilesTest& t) { return platform::CopyFile(t.inSandbox(u"a.txt"), t.inSandbox(u"B.TXT"), true); },
       platform::kErrorFileExists},
      {"copy over a read-only file",
       [](FilesTest& t) {
         t.writeFile(t.inSandbox(u"a.txt"), "a");
         t.writeFile(t.inSandbox(u"b.txt"), "b");
         platform::SetFileAttributes(t.inSandbox(u"b.txt"), platform::kAttributeReadOnly);
       },
       [](FilesTest& t) { return platform::CopyFile(t.inSandbox(u"a.txt"), t.inSandbox(u"b.txt"), false); },
       platform::kErrorAccessDenied},
      {"copy into a missing folder", [](FilesTest& t) { t.writeFile(t.inSandbox(u"a.txt"), "a"); },
       [](FilesTest& t) { return platform::CopyFile(t.inSandbox(u"a.txt"), t.inSandbox(u"x\\a.txt"), false); },
       platform::kErrorPathNotFound},
      {"copy a file onto itself", [](FilesTest& t) { t.writeFile(t.inSandbox(u"a.txt"), "a"); },
       [](FilesTest& t) { return platform::CopyFile(t.inSandbox(u"a.txt"), t.inSandbox(u"A.txt"), false); },
       platform::kErrorSharingViolation},
      {"move a missing file", nullptr,
       [](FilesTest& t) { return platform::MoveFileReplace(t.inSandbox(u"absent.txt"), t.inSandbox(u"b.txt")); },
       platform::kErrorFileNotFound},
      {"move over a read-only file",
       [](FilesTest& t) {
         t.writeFile(t.inSandbox(u"a.txt"), "a");
         t.writeFile(t.inSandbox(u"b.txt"), "b");
         platform::SetFileAttributes(t.inSandbox(u"b.txt"), platform::kAttributeReadOnly);
       },
       [](FilesTest& t) { return platform::MoveFileReplace(t.inSandbox(u"a.txt"), t.inSandbox(u"b.txt")); },
       platform::kErrorAccessDenied},
      {"create a folder where a file is", [](FilesTest& t) { t.writeFile(t.inSandbox(u"f"), "x"); },
       [](FilesTest& t) { return platform::CreateDirectoryTree(t.inSandbox(u"f")); }, platform::kErrorAlreadyExists},
      {"remove a folder that is not empty",
       [](FilesTest& t) { platform::CreateDirectoryTree(t.inSandbox(u"sub")); t.writeFile(t.inSandbox(u"sub\\a"), "a"); },
       [](FilesTest& t) { return platform::RemoveDirectory(t.inSandbox(u"sub")); }, platform::kErrorDirNotEmpty},
      {"remove a missing folder", nullptr, [](FilesTest& t) { return platform::RemoveDirectory(t.inSandbox(u"gone")); },
       platform::kErrorFileNotFound},
      {"remove a file as a folder", [](FilesTest& t) { t.writeFile(t.inSandbox(u"f"), "x"); },
       [](FilesTest& t) { return platform::RemoveDirectory(t.inSandbox(u"f")); }, platform::kErrorDirectory},
      {"time of a missing file", nullptr,
       [](FilesTest& t) { platform::FileTime time; return platform::GetFileLastWriteTime(t.inSandbox(u"absent"), &time); },
       platform::kErrorFileNotFound},
      {"set the time of a missing file", nullptr,
       [](FilesTest& t) { return platform::SetFileLastWriteTime(t.inSandbox(u"absent"), 130000000000000000ULL); },
       platform::kErrorFileNotFound},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.prepare) c.prepare(*this);
    platform::SetLastError(0);
    EXPECT_FALSE(c.call(*this));
    EXPECT_EQ(platform::GetLastError(), c.code);
    // Each case starts from an empty sandbox again.
    for (const auto& entry : platform::FindFiles(sandbox(), u"*")) {
      platform::SetFileAttributes(inSandbox(entry.name), platform::kAttributeNormal);
      if (entry.attributes & platform::kAttributeDirectory) {
        platform::DeleteFilesByMask(inSandbox(entry.name), u"*");
        platform::RemoveDirectory(inSandbox(entry.name));
      } else {
        platform::DeleteFile(inSandbox(entry.name));
      }
    }
  }
}

TEST_F(FilesTest, TryOpenExclusiveTellsWhyAFileCannotBeReplaced) {
  writeFile(inSandbox(u"free.dll"), "x");
  writeFile(inSandbox(u"ro.dll"), "x");
  ASSERT_TRUE(platform::SetFileAttributes(inSandbox(u"ro.dll"), platform::kAttributeReadOnly));
  ASSERT_TRUE(platform::CreateDirectoryTree(inSandbox(u"folder")));
  const struct {
    String name;
    uint32_t code;
  } cases[] = {
      {u"free.dll", platform::kErrorSuccess},     {u"FREE.DLL", platform::kErrorSuccess},
      {u"ro.dll", platform::kErrorAccessDenied},  {u"folder", platform::kErrorAccessDenied},
      {u"absent.dll", platform::kErrorFileNotFound}, {u"none\\a.dll", platform::kErrorPathNotFound},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform::TryOpenExclusive(inSandbox(c.name)), c.code) << Utf8(c.name);
  }
}

TEST_F(FilesTest, NamesIgnoreLetterCaseAndKeepTheCaseGiven) {
  writeFile(inSandbox(u"MultiSte.txt"), "companies");
  EXPECT_EQ(readFile(inSandbox(u"multiste.TXT")), "companies");
  ASSERT_TRUE(platform::WriteFileContents(inSandbox(u"MULTISTE.txt"), "changed"));
  ASSERT_TRUE(platform::CreateDirectoryTree(inSandbox(u"Société\\Données")));
  writeFile(inSandbox(u"SOCIÉTÉ\\données\\Été.txt"), "accents");
  EXPECT_EQ(readFile(inSandbox(u"société\\DONNÉES\\ÉTÉ.TXT")), "accents");

  const auto entries = SortedFind(sandbox(), u"*");
  std::vector<String> names;
  for (const auto& entry : entries) names.push_back(entry.name);
  EXPECT_EQ(names, (std::vector<String>{u"MultiSte.txt", u"Société"}));
  EXPECT_EQ(readFile(inSandbox(u"MultiSte.txt")), "changed");
}

TEST_F(FilesTest, SeparatorsAndDotsAreNormalised) {
  ASSERT_TRUE(platform::CreateDirectoryTree(inSandbox(u"a\\b")));
  writeFile(inSandbox(u"a\\b\\file.txt"), "here");
  const String spellings[] = {
      u"a/b/file.txt", u"a\\.\\b\\file.txt", u"a\\b\\..\\b\\file.txt", u"a\\\\b\\file.txt", u"a\\b\\file.txt.",
  };
  for (const String& spelling : spellings) {
    std::string bytes;
    EXPECT_TRUE(platform::ReadFileContents(inSandbox(spelling), &bytes)) << Utf8(spelling);
    EXPECT_EQ(bytes, "here") << Utf8(spelling);
  }
}

TEST_F(FilesTest, AttributesFollowTheReadOnlyFlag) {
  writeFile(inSandbox(u"f.txt"), "x");
  ASSERT_TRUE(platform::CreateDirectoryTree(inSandbox(u"d")));
  const uint32_t file = platform::GetFileAttributes(inSandbox(u"f.txt"));
  EXPECT_EQ(file & (platform::kAttributeDirectory | platform::kAttributeReadOnly), 0u);
  EXPECT_NE(file & (platform::kAttributeArchive | platform::kAttributeNormal), 0u);
  EXPECT_NE(platform::GetFileAttributes(inSandbox(u"d")) & platform::kAttributeDirectory, 0u);

  ASSERT_TRUE(platform::SetFileAttributes(inSandbox(u"f.txt"), platform::kAttributeReadOnly));
  EXPECT_NE(platform::GetFileAttributes(inSandbox(u"f.txt")) & platform::kAttributeReadOnly, 0u);
  EXPECT_FALSE(platform::WriteFileContents(inSandbox(u"f.txt"), "y"));
  EXPECT_EQ(platform::GetLastError(), platform::kErrorAccessDenied);
  ASSERT_TRUE(platform::SetFileAttributes(inSandbox(u"f.txt"), platform::kAttributeNormal));
  EXPECT_EQ(platform::GetFileAttributes(inSandbox(u"f.txt")) & platform::kAttributeReadOnly, 0u);
  EXPECT_TRUE(platform::WriteFileContents(inSandbox(u"f.txt"), "y"));

  EXPECT_TRUE(platform::FileExists(inSandbox(u"F.TXT")));
  EXPECT_FALSE(platform::FileExists(inSandbox(u"d")));
  EXPECT_TRUE(platform::DirectoryExists(inSandbox(u"D")));
  EXPECT_FALSE(platform::DirectoryExists(inSandbox(u"f.txt")));
  EXPECT_FALSE(platform::FileExists(inSandbox(u"absent")));
}

TEST_F(FilesTest, CopyReplacesTheTargetAndKeepsTheSourceTime) {
  writeFile(inSandbox(u"new.dll"), std::string(300000, 'n'));
  writeFile(inSandbox(u"old.dll"), "old");
  const platform::FileTime sourceTime = 132000000000000000ULL;  // 2019, whole seconds
  ASSERT_TRUE(platform::SetFileLastWriteTime(inSandbox(u"new.dll"), sourceTime));

  ASSERT_TRUE(platform::CopyFile(inSandbox(u"new.dll"), inSandbox(u"OLD.dll"), false));
  EXPECT_EQ(readFile(inSandbox(u"old.dll")), std::string(300000, 'n'));
  platform::FileTime copied = 0;
  ASSERT_TRUE(platform::GetFileLastWriteTime(inSandbox(u"old.dll"), &copied));
  EXPECT_EQ(copied, sourceTime);
  ASSERT_TRUE(platform::CopyFile(inSandbox(u"new.dll"), inSandbox(u"Fresh.dll"), true));
  EXPECT_EQ(platform::FindFiles(sandbox(), u"fresh.dll").at(0).name, u"Fresh.dll");
  EXPECT_FALSE(anyTemporaryLeft());
}

TEST_F(FilesTest, CopyOfAReadOnlySourceIsReadOnly) {
  writeFile(inSandbox(u"ro.txt"), "x");
  ASSERT_TRUE(platform::SetFileAttributes(inSandbox(u"ro.txt"), platform::kAttributeReadOnly));
  ASSERT_TRUE(platform::CopyFile(inSandbox(u"ro.txt"), inSandbox(u"copy.txt"), false));
  EXPECT_NE(platform::GetFileAttributes(inSandbox(u"copy.txt")) & platform::kAttributeReadOnly, 0u);
}

TEST_F(FilesTest, FailedCopyLeavesTheTargetAsItWas) {
  writeFile(inSandbox(u"target.txt"), "kept");
  ASSERT_TRUE(platform::SetFileAttributes(inSandbox(u"target.txt"), platform::kAttributeReadOnly));
  writeFile(inSandbox(u"source.txt"), "new");
  EXPECT_FALSE(platform::CopyFile(inSandbox(u"source.txt"), inSandbox(u"target.txt"), false));
  EXPECT_FALSE(platform::CopyFile(inSandbox(u"absent.txt"), inSandbox(u"target.txt"), false));
  EXPECT_EQ(readFile(inSandbox(u"target.txt")), "kept");
  EXPECT_FALSE(anyTemporaryLeft());
}

TEST_F(FilesTest, MoveReplacesTheTarget) {
  writeFile(inSandbox(u"a.txt"), "a");
  writeFile(inSandbox(u"b.txt"), "b");
  ASSERT_TRUE(platform::CreateDirectoryTree(inSandbox(u"sub")));
  ASSERT_TRUE(platform::MoveFileReplace(inSandbox(u"a.txt"), inSandbox(u"B.txt")));
  EXPECT_FALSE(platform::FileExists(inSandbox(u"a.txt")));
  EXPECT_EQ(readFile(inSandbox(u"b.txt")), "a");
  ASSERT_TRUE(platform::MoveFileReplace(inSandbox(u"b.txt"), inSandbox(u"sub\\c.txt")));
  EXPECT_EQ(readFile(inSandbox(u"sub\\c.txt")), "a");
  // A rename that only changes letter case keeps the file and takes the case.
  ASSERT_TRUE(platform::MoveFileReplace(inSandbox(u"sub\\c.txt"), inSandbox(u"sub\\C.TXT")));
  const auto entries = platform::FindFiles(inSandbox(u"sub"), u"*");
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, u"C.TXT");
}

TEST_F(FilesTest, DeleteByMaskTakesMatchingFilesOnly) {
  const struct {
    String name;
    bool folder;
    bool deleted;
  } entries[] = {
      {u"Update1.tmp", false, true}, {u"UPDATE22.TMP", false, true}, {u"update.tmp", false, true},
      {u"Update1.txt", false, false}, {u"MyUpdate1.tmp", false, false}, {u"Update9.tmp", true, false},
  };
  for (const auto& e : entries) {
    if (e.folder) ASSERT_TRUE(platform::CreateDirectoryTree(inSandbox(e.name)));
    else writeFile(inSandbox(e.name), "x");
  }
  EXPECT_TRUE(platform::DeleteFilesByMask(sandbox(), u"Update*.tmp"));
  for (const auto& e : entries) {
    EXPECT_EQ(platform::GetFileAttributes(inSandbox(e.name)) == platform::kInvalidFileAttributes, e.deleted)
        << Utf8(e.name);
  }
  writeFile(inSandbox(u"a1.log"), "x");
  writeFile(inSandbox(u"a22.log"), "x");
  EXPECT_TRUE(platform::DeleteFilesByMask(sandbox(), u"A?.LOG"));
  EXPECT_FALSE(platform::FileExists(inSandbox(u"a1.log")));
  EXPECT_TRUE(platform::FileExists(inSandbox(u"a22.log")));
}

TEST_F(FilesTest, DeleteByMaskLeavesWhatItCannotDelete) {
  writeFile(inSandbox(u"a.tmp"), "x");
  writeFile(inSandbox(u"b.tmp"), "x");
  ASSERT_TRUE(platform::SetFileAttributes(inSandbox(u"b.tmp"), platform::kAttributeReadOnly));
  EXPECT_FALSE(platform::DeleteFilesByMask(sandbox(), u"*.tmp"));
  EXPECT_FALSE(platform::FileExists(inSandbox(u"a.tmp")));
  EXPECT_TRUE(platform::FileExists(inSandbox(u"b.tmp")));
}

TEST_F(FilesTest, FindFilesListsNamesSizesAndAttributes) {
  writeFile(inSandbox(u"b.dat"), std::string(1234, 'b'));
  writeFile(inSandbox(u"A.dat"), "");
  ASSERT_TRUE(platform::CreateDirectoryTree(inSandbox(u"c.dat")));
  const auto all = SortedFind(sandbox(), u"*.DAT");
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0].name, u"A.dat");
  EXPECT_EQ(all[1].name, u"b.dat");
  EXPECT_EQ(all[1].size, 1234u);
  EXPECT_NE(all[2].attributes & platform::kAttributeDirectory, 0u);
  EXPECT_GT(all[1].lastWriteTime, 0u);

  EXPECT_TRUE(platform::FindFiles(sandbox(), u"*.none").empty());
  EXPECT_EQ(platform::GetLastError(), platform::kErrorFileNotFound);
  EXPECT_TRUE(platform::FindFiles(inSandbox(u"gone"), u"*").empty());
  EXPECT_EQ(platform::GetLastError(), platform::kErrorPathNotFound);
}

TEST_F(FilesTest, LastWriteTimeRoundTrips) {
  writeFile(inSandbox(u"t.txt"), "x");
  for (platform::FileTime time : {116444736000000000ULL, 125911584000000000ULL, 133000000001234500ULL}) {
    ASSERT_TRUE(platform::SetFileLastWriteTime(inSandbox(u"T.TXT"), time));
    platform::FileTime read = 0;
    ASSERT_TRUE(platform::GetFileLastWriteTime(inSandbox(u"t.txt"), &read));
    EXPECT_EQ(read, time);
  }
}

TEST_F(FilesTest, FolderTreesAreMadeAndRemoved) {
  ASSERT_TRUE(platform::CreateDirectoryTree(inSandbox(u"one\\two\\three")));
  EXPECT_TRUE(platform::DirectoryExists(inSandbox(u"ONE\\Two\\three")));
  EXPECT_TRUE(platform::CreateDirectoryTree(inSandbox(u"one\\TWO")));  // already there
  EXPECT_TRUE(platform::RemoveDirectory(inSandbox(u"one\\two\\three")));
  EXPECT_FALSE(platform::DirectoryExists(inSandbox(u"one\\two\\three")));
}

TEST_F(FilesTest, FileWriterReplacesOnCommitOnly) {
  writeFile(inSandbox(u"big.bin"), "old");
  {
    platform::FileWriter writer;
    ASSERT_TRUE(writer.Open(inSandbox(u"big.bin")));
    ASSERT_TRUE(writer.Write("partial", 7));
    EXPECT_EQ(readFile(inSandbox(u"big.bin")), "old");
  }  // destroyed without Commit
  EXPECT_EQ(readFile(inSandbox(u"big.bin")), "old");
  EXPECT_FALSE(anyTemporaryLeft());

  platform::FileWriter writer;
  ASSERT_TRUE(writer.Open(inSandbox(u"BIG.bin")));
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(writer.Write("0123456789", 10));
  ASSERT_TRUE(writer.Commit());
  EXPECT_EQ(readFile(inSandbox(u"big.bin")).size(), 1000u);
  EXPECT_FALSE(anyTemporaryLeft());
  EXPECT_FALSE(writer.isOpen());

  platform::FileWriter refused;
  EXPECT_FALSE(refused.Open(inSandbox(u"missing\\x.bin")));
  EXPECT_EQ(platform::GetLastError(), platform::kErrorPathNotFound);
}

}  // namespace

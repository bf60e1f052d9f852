// A file another process holds open or mapped is in use: never replaced,
// moved over, deleted or opened exclusively, and left exactly as it was.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/prctl.h>

#include <functional>
#include <string>
#include <thread>

#include "child_process.h"
#include "fixtures/temp_prefix.h"
#include "platform/files.h"

namespace {

using platform::String;
using prefixtests::ChildProcess;

void HoldOpen(const std::string& host) {
  if (open(host.c_str(), O_RDONLY) < 0) _exit(1);
}

void HoldMapped(const std::string& host) {
  const int fd = open(host.c_str(), O_RDONLY);
  if (fd < 0 || mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE, fd, 0) == MAP_FAILED) _exit(1);
  close(fd);  // only the mapping keeps it, as for a loaded library
}

// Opens and closes the file without end, from a thread of the child, so that
// the child itself can report that it has started.
// It ends with the test, should the test be killed.
void KeepOpeningAndClosing(const std::string& host) {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  std::thread([host] {
    for (;;) {
      const int fd = open(host.c_str(), O_RDONLY);
      if (fd >= 0) close(fd);
    }
  }).detach();
}

struct Operation {
  const char* what;
  std::function<bool()> call;
};

class InUseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix_.writeFile("C:\\Prog\\WKTorvida2.dll", "installed");
    prefix_.writeFile("C:\\Prog\\new.dll", "carried");
  }

  void expectEveryReplacementRefused() {
    const Operation operations[] = {
        {"copy over", [] { return platform::CopyFile(u"C:\\Prog\\new.dll", u"C:\\prog\\wktorvida2.dll", false); }},
        {"move over", [] { return platform::MoveFileReplace(u"C:\\Prog\\new.dll", u"C:\\Prog\\WKTorvida2.dll"); }},
        {"write", [] { return platform::WriteFileContents(u"C:\\Prog\\WKTorvida2.dll", "written"); }},
        {"delete", [] { return platform::DeleteFile(u"C:\\Prog\\WKTorvida2.dll"); }},
        {"delete by mask", [] { return platform::DeleteFilesByMask(u"C:\\Prog", u"WK*.dll"); }},
        {"open exclusively",
         [] { return platform::TryOpenExclusive(u"C:\\Prog\\WKTorvida2.dll") == platform::kErrorSuccess; }},
    };
    for (const Operation& operation : operations) {
      platform::SetLastError(0);
      EXPECT_FALSE(operation.call()) << operation.what;
      EXPECT_EQ(platform::GetLastError(), platform::kErrorSharingViolation) << operation.what;
      EXPECT_EQ(prefix_.readFile("C:\\Prog\\WKTorvida2.dll"), "installed") << operation.what;
    }
    EXPECT_TRUE(platform::FindFiles(u"C:\\Prog", u"~kvtmp*").empty());
  }

  fixtures::TempPrefix prefix_;
};

TEST_F(InUseTest, FileHeldOpenByAnotherProcessIsNotReplaced) {
  const std::string host = prefix_.hostPath("C:\\Prog\\WKTorvida2.dll");
  ChildProcess holder([&] { HoldOpen(host); });
  ASSERT_TRUE(holder.running());
  expectEveryReplacementRefused();
  holder.kill();
  EXPECT_EQ(platform::TryOpenExclusive(u"C:\\Prog\\WKTorvida2.dll"), platform::kErrorSuccess);
  EXPECT_TRUE(platform::CopyFile(u"C:\\Prog\\new.dll", u"C:\\Prog\\WKTorvida2.dll", false));
  EXPECT_EQ(prefix_.readFile("C:\\Prog\\WKTorvida2.dll"), "carried");
}

TEST_F(InUseTest, LibraryMappedByAnotherProcessIsNotReplaced) {
  const std::string host = prefix_.hostPath("C:\\Prog\\WKTorvida2.dll");
  ChildProcess holder([&] { HoldMapped(host); });
  ASSERT_TRUE(holder.running());
  expectEveryReplacementRefused();
}

TEST_F(InUseTest, ReadOnlyWinsOverInUse) {
  const std::string host = prefix_.hostPath("C:\\Prog\\WKTorvida2.dll");
  ASSERT_TRUE(platform::SetFileAttributes(u"C:\\Prog\\WKTorvida2.dll", platform::kAttributeReadOnly));
  ChildProcess holder([&] { HoldOpen(host); });
  EXPECT_EQ(platform::TryOpenExclusive(u"C:\\Prog\\WKTorvida2.dll"), platform::kErrorAccessDenied);
}

TEST_F(InUseTest, OwnDescriptorsDoNotCount) {
  const int fd = open(prefix_.hostPath("C:\\Prog\\WKTorvida2.dll").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(platform::TryOpenExclusive(u"C:\\Prog\\WKTorvida2.dll"), platform::kErrorSuccess);
  close(fd);
}

// The quick check takes a lease on the file for an instant; a process that
// opens the file in that instant makes the kernel signal this one, which must
// not end it. The file is closed between opens, so either answer is right.
TEST_F(InUseTest, AFileOpenedAgainAndAgainMeanwhileIsCheckedSafely) {
  const std::string host = prefix_.hostPath("C:\\Prog\\WKTorvida2.dll");
  ChildProcess opener([&] { KeepOpeningAndClosing(host); });
  ASSERT_TRUE(opener.running());
  for (int i = 0; i < 20000; ++i) {
    const uint32_t code = platform::TryOpenExclusive(u"C:\\Prog\\WKTorvida2.dll");
    ASSERT_TRUE(code == platform::kErrorSuccess || code == platform::kErrorSharingViolation) << code;
  }
  opener.kill();
  EXPECT_EQ(platform::TryOpenExclusive(u"C:\\Prog\\WKTorvida2.dll"), platform::kErrorSuccess);
}

TEST_F(InUseTest, OtherFilesOfTheFolderStayFree) {
  const std::string host = prefix_.hostPath("C:\\Prog\\WKTorvida2.dll");
  ChildProcess holder([&] { HoldOpen(host); });
  EXPECT_TRUE(platform::WriteFileContents(u"C:\\Prog\\other.dll", "x"));
  EXPECT_TRUE(platform::CopyFile(u"C:\\Prog\\WKTorvida2.dll", u"C:\\Prog\\copy.dll", false));
  EXPECT_EQ(prefix_.readFile("C:\\Prog\\copy.dll"), "installed");
}

}  // namespace

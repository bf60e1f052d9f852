// Replacement never tears a file: a disk filling up part-way or a process
// killed part-way leaves the destination byte for byte as it was (or, for a
// kill after the rename, as the copy made it).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>

#include "fixtures/small_file_system.h"
#include "fixtures/temp_prefix.h"
#include "platform/files.h"

namespace {

namespace fs = std::filesystem;

std::string Pattern(char fill, size_t size) {
  std::string bytes(size, fill);
  for (size_t i = 0; i < size; i += 4096) bytes[i] = char('0' + (i / 4096) % 10);
  return bytes;
}

class DiskFullTest : public ::testing::Test {
 protected:
  void SetUp() override {
    disk_ = std::make_unique<fixtures::SmallFileSystem>(hosts_.path() + "/small", "1m");
    if (!disk_->mounted()) GTEST_SKIP() << "cannot mount a small tmpfs here (" << disk_->why() << ")";
    prefix_.addDrive('t', hosts_.path() + "/small");
    prefix_.writeFile("T:\\WKTorvida2.dll", old_);
    prefix_.writeFile("C:\\carried.dll", Pattern('n', 2 << 20));  // larger than what is left
  }

  void expectUntouched(const char* what) {
    EXPECT_EQ(platform::GetLastError(), platform::kErrorDiskFull) << what;
    EXPECT_EQ(prefix_.readFile("T:\\WKTorvida2.dll"), old_) << what;
    EXPECT_TRUE(platform::FindFiles(u"T:\\", u"~kvtmp*").empty()) << what;
  }

  fixtures::TempPrefix prefix_;
  fixtures::TempDir hosts_;
  std::unique_ptr<fixtures::SmallFileSystem> disk_;
  const std::string old_ = Pattern('o', 300000);
};

TEST_F(DiskFullTest, CopyFailingPartWayLeavesTheTarget) {
  EXPECT_FALSE(platform::CopyFile(u"C:\\carried.dll", u"T:\\wktorvida2.dll", false));
  expectUntouched("copy");
  EXPECT_FALSE(platform::MoveFileReplace(u"C:\\carried.dll", u"T:\\WKTorvida2.dll"));
  expectUntouched("move across file systems");
  EXPECT_TRUE(platform::FileExists(u"C:\\carried.dll"));
}

TEST_F(DiskFullTest, WritesFailingPartWayLeaveTheTarget) {
  EXPECT_FALSE(platform::WriteFileContents(u"T:\\WKTorvida2.dll", Pattern('w', 2 << 20)));
  expectUntouched("whole write");

  platform::FileWriter writer;
  ASSERT_TRUE(writer.Open(u"T:\\WKTorvida2.dll"));
  const std::string block = Pattern('b', 65536);
  bool failed = false;
  for (int i = 0; i < 64 && !failed; ++i) failed = !writer.Write(block.data(), block.size());
  EXPECT_TRUE(failed);
  expectUntouched("writer");
  EXPECT_FALSE(writer.Commit());
}

// Copies source over target in a child killed at a random moment, again and
// again: the target is always the old file or the new one, whole.
TEST(KilledCopyTest, TargetIsAlwaysOldOrNew) {
  fixtures::TempPrefix prefix;
  const std::string carried = Pattern('n', 6 << 20);
  const std::string installed = Pattern('o', 5 << 20);
  prefix.writeFile("C:\\Prog\\carried.dll", carried);
  prefix.writeFile("C:\\Prog\\installed.dll", installed);

  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(platform::CopyFile(u"C:\\Prog\\carried.dll", u"C:\\Prog\\probe.dll", false));
  const auto copyTime = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);

  std::mt19937 random(12345);
  std::uniform_int_distribution<long> moment(0, copyTime.count() * 3 / 2 + 1);
  int sawOld = 0;
  int sawNew = 0;
  for (int round = 0; round < 40; ++round) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(platform::CopyFile(u"C:\\Prog\\carried.dll", u"C:\\Prog\\installed.dll", false) ? 0 : 1);
    usleep(static_cast<useconds_t>(moment(random)));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);

    const std::string now = prefix.readFile("C:\\Prog\\installed.dll");
    ASSERT_TRUE(now == installed || now == carried) << "round " << round << ": torn file of " << now.size() << " bytes";
    if (now == installed) ++sawOld;
    else ++sawNew;
    prefix.writeFile("C:\\Prog\\installed.dll", installed);
    // A killed copy may leave its temporary file, recognisable by name.
    platform::DeleteFilesByMask(u"C:\\Prog", u"~kvtmp*");
  }
  RecordProperty("killed_before_rename", sawOld);
  RecordProperty("killed_after_rename", sawNew);
  EXPECT_GT(sawOld, 0);
}

}  // namespace

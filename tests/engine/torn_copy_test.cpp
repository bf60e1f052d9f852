// A copy over an installed file that fails or is killed part-way leaves the
// installed file whole: the old bytes, never a mix.
#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "engine_fixture.h"
#include "fixtures/small_file_system.h"

namespace {

using namespace kelvaro;
using enginetest::Day;

// Names of the files of a host folder.
std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  return names;
}

class TornCopyTest : public enginetest::EngineTest {};

TEST_F(TornCopyTest, AFullDiskKeepsTheInstalledFile) {
  const std::string host = prefix.root() + "/small";
  fixtures::SmallFileSystem small(host, "64k");
  if (!small.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (needs root): " << small.why();
  prefix.addDrive('d', host);
  const std::string installed = "D:\\Programs\\WKTorvida2.dll";
  const std::string old(40 * 1024, 'o');
  writeFile(installed, old, Day(-1));
  writeFile("C:\\Carried\\big.tmp", std::string(100 * 1024, 'n'), Day(0));

  const TUpdateResultType result =
      engine->ReplaceFile(QStringLiteral("C:\\Carried\\big.tmp"), QString::fromStdString(installed), true, false);

  EXPECT_EQ(result, urtKo);
  EXPECT_EQ(read(installed), old);
  // The half-written temporary file is gone: only the installed file is left.
  EXPECT_EQ(Entries(host + "/Programs"), std::vector<std::string>{"WKTorvida2.dll"});
}

TEST_F(TornCopyTest, AKilledCopyKeepsTheInstalledFile) {
  const std::string installed = "C:\\WKelvaro\\Torvida\\Programs\\WKTorvida2.dll";
  const std::string old(1024 * 1024, 'o');
  writeFile(installed, old, Day(-1));
  // Large enough that the copy is still running when it is killed.
  {
    prefix.makeDirectory("C:\\Carried");
    std::ofstream out(prefix.hostPath("C:\\Carried\\big.tmp"), std::ios::binary);
    const std::string block(1024 * 1024, 'n');
    for (int i = 0; i < 256; ++i) out << block;
  }
  platform::SetFileLastWriteTime(u"C:\\Carried\\big.tmp", Day(0));
  const std::string folder = prefix.hostPath("C:\\WKelvaro\\Torvida\\Programs");

  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    engine->ReplaceFile(QStringLiteral("C:\\Carried\\big.tmp"), QString::fromStdString(installed), true, false);
    _exit(0);
  }
  // Kill it as soon as the new bytes have started to arrive.
  bool midCopy = false;
  for (int i = 0; i < 20000 && !midCopy; ++i) {
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      std::error_code ignored;
      if (entry.path().filename().string().rfind("~kvtmp", 0) == 0 && entry.file_size(ignored) > 0) midCopy = true;
    }
    if (!midCopy) std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);

  ASSERT_TRUE(midCopy) << "the copy was never seen under way";
  ASSERT_TRUE(WIFSIGNALED(status)) << "the copy finished before it could be killed";
  EXPECT_EQ(read(installed), old);
  // What a killed copy may leave is its temporary file, recognisable by name.
  for (const std::string& name : Entries(folder)) {
    if (name != "WKTorvida2.dll") {
      EXPECT_EQ(name.rfind("~kvtmp", 0), 0u) << name;
    }
  }
}

}  // namespace

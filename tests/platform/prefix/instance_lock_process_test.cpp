// The single-instance lock across processes: held by a running copy, free
// again as soon as that copy is gone, however it ended.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "child_process.h"
#include "fixtures/temp_prefix.h"
#include "platform/system.h"

namespace {

using prefixtests::ChildProcess;

TEST(InstanceLockProcessTest, AnotherProcessHoldsTheNameUntilItDies) {
  const platform::String name = u"Majtorvida-" + platform::String(1, char16_t(u'a' + getpid() % 26)) + u"-process";
  ChildProcess running([&] {
    static auto lock = platform::CreateInstanceLock(name);
    if (!lock || lock->alreadyExists()) _exit(1);
  });
  ASSERT_TRUE(running.running());
  {
    auto second = platform::CreateInstanceLock(name);
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(second->alreadyExists());
    EXPECT_EQ(platform::GetLastError(), platform::kErrorAlreadyExists);
    auto other = platform::CreateInstanceLock(name + u"2");
    EXPECT_FALSE(other->alreadyExists());
  }
  running.kill();  // as a crash would end it
  auto after = platform::CreateInstanceLock(name);
  ASSERT_NE(after, nullptr);
  EXPECT_FALSE(after->alreadyExists());
}

TEST(InstanceLockProcessTest, ProgramsStartedByTheHolderDoNotInheritIt) {
  const platform::String name = u"Kelvaro-inherit-test";
  auto lock = platform::CreateInstanceLock(name);
  ASSERT_FALSE(lock->alreadyExists());
  // A child started with exec keeps no descriptor of ours: once we let go,
  // the name is free although the child still runs.
  const pid_t child = fork();
  if (child == 0) {
    execl("/bin/sleep", "sleep", "5", static_cast<char*>(nullptr));
    _exit(127);
  }
  usleep(100000);
  lock.reset();
  auto again = platform::CreateInstanceLock(name);
  EXPECT_FALSE(again->alreadyExists());
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
}

// Two prefixes are two installations: a copy running in one does not keep
// the same program from starting in the other, while any spelling of the
// same prefix's path finds the copy running there.
TEST(InstanceLockProcessTest, ALockBelongsToThePrefixItWasTakenIn) {
  fixtures::TempPrefix first;
  fixtures::TempPrefix second;  // WINEPREFIX names this one now
  const platform::String name = u"Majtorvida-scope-" + platform::String(1, char16_t(u'a' + getpid() % 26));
  ChildProcess running([&] {
    setenv("WINEPREFIX", first.root().c_str(), 1);
    static auto lock = platform::CreateInstanceLock(name);
    if (!lock || lock->alreadyExists()) _exit(1);
  });
  ASSERT_TRUE(running.running());
  const std::string link = second.root() + "/link-to-first";
  std::filesystem::create_directory_symlink(first.root(), link);

  const struct {
    std::string prefix;
    bool taken;
  } cases[] = {
      {second.root(), false},
      {first.root(), true},
      {first.root() + "/", true},
      {link, true},
  };
  for (const auto& c : cases) {
    setenv("WINEPREFIX", c.prefix.c_str(), 1);
    const auto lock = platform::CreateInstanceLock(name);
    ASSERT_NE(lock, nullptr) << c.prefix;
    EXPECT_EQ(lock->alreadyExists(), c.taken) << c.prefix;
  }
  setenv("WINEPREFIX", second.root().c_str(), 1);
}

}  // namespace

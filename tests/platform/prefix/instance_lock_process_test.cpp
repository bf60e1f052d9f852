// The single-instance lock across processes: held by a running copy, free
// again as soon as that copy is gone, however it ended.
#include <gtest/gtest.h>

#include "child_process.h"
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

}  // namespace

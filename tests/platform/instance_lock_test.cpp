// The single-instance lock, seen from one process: a second lock of the same
// name finds it taken (as a second CreateSemaphoreW of the same name gets
// ERROR_ALREADY_EXISTS), other names are free, and releasing frees the name.
#include "platform/conformance.h"
#include "platform/system.h"

namespace {

using conformance::ConformanceTest;
using platform::String;

using InstanceLockTest = ConformanceTest;

TEST_F(InstanceLockTest, SecondLockOfTheSameNameFindsItTaken) {
  const String name = u"Majtorvida-" + registryKey().substr(registryKey().rfind(u'\\') + 1);
  auto first = platform::CreateInstanceLock(name);
  ASSERT_NE(first, nullptr);
  EXPECT_FALSE(first->alreadyExists());

  const struct {
    String name;
    bool taken;
  } cases[] = {
      {name, true},
      {name + u"x", false},
      {u"M" + name.substr(1), true},
      {u"m" + name.substr(1), false},  // names compare exactly
  };
  for (const auto& c : cases) {
    auto other = platform::CreateInstanceLock(c.name);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(other->alreadyExists(), c.taken) << conformance::Utf8(c.name);
  }
  first.reset();
  auto again = platform::CreateInstanceLock(name);
  ASSERT_NE(again, nullptr);
  EXPECT_FALSE(again->alreadyExists());
}

}  // namespace

// Who and where this program runs, as the rest of the program relies on it.
#include "platform/conformance.h"
#include "platform/system.h"

namespace {

using conformance::ConformanceTest;
using platform::String;

using IdentityTest = ConformanceTest;

TEST_F(IdentityTest, NamesAreThereAndFit) {
  String computer;
  ASSERT_TRUE(platform::GetComputerName(&computer)) << platform::GetLastError();
  EXPECT_FALSE(computer.empty());
  EXPECT_LE(computer.size(), 15u);
  String user;
  ASSERT_TRUE(platform::GetUserName(&user)) << platform::GetLastError();
  EXPECT_FALSE(user.empty());
}

// (Wine answers for any process id, so an unknown one is a prefix-only case.)
TEST_F(IdentityTest, OwnProcessHasASession) {
  uint32_t session = 12345;
  ASSERT_TRUE(platform::ProcessIdToSessionId(platform::GetCurrentProcessId(), &session));
  EXPECT_NE(session, 12345u);
}

TEST_F(IdentityTest, WindowsVersionIsAnNtVersion) {
  const platform::WindowsVersion version = platform::GetWindowsVersion();
  EXPECT_TRUE(version.ntFamily);
  EXPECT_GE(version.major, 6u);
  EXPECT_LE(version.major, 10u);
}

TEST_F(IdentityTest, SystemMessagesEndWithALineBreak) {
  for (uint32_t code : {2u, 3u, 5u, 32u, 80u, 112u, 183u}) {
    const String text = platform::FormatSystemMessage(code);
    ASSERT_GE(text.size(), 3u) << code;
    EXPECT_EQ(text.substr(text.size() - 2), u"\r\n") << code;
  }
  EXPECT_TRUE(platform::FormatSystemMessage(123456).empty());
}

}  // namespace

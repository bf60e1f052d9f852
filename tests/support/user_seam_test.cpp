// The message functions, the nesting wait cursor and the scripted user.
#include <gtest/gtest.h>

#include "support/scripted_user.h"
#include "support/text.h"
#include "support/user_seam.h"

namespace kelvaro {
namespace {

TEST(UserSeamTest, EachBoxHasItsBeepAndAnswer) {
  ScopedScriptedUser scripted;
  scripted.user.answers = {true, false};
  ShowErrorMessage(QStringLiteral("e"));
  EXPECT_TRUE(AskConfirmation(QStringLiteral("c")));
  EXPECT_FALSE(AskWarning(QStringLiteral("w")));
  ShowWarningMessage(QStringLiteral("sw"));
  ShowInfoMessage(QStringLiteral("i"));
  ShowPlainMessage(QStringLiteral("p"));
  MessageBeep(BeepType::Exclamation);
  ShowErrorMessageCaptioned(QStringLiteral("qry"), QStringLiteral("ec"));
  struct Expected {
    MessageKind kind;
    std::optional<BeepType> beep;
    const char* text;
    const char* caption;
  } expected[] = {
      {MessageKind::Error, BeepType::Exclamation, "e", ""},
      {MessageKind::Confirmation, BeepType::Question, "c", ""},
      {MessageKind::AskWarning, BeepType::Exclamation, "w", ""},
      {MessageKind::Warning, BeepType::Exclamation, "sw", ""},
      {MessageKind::Info, BeepType::Exclamation, "i", ""},
      {MessageKind::Plain, std::nullopt, "p", ""},
      {MessageKind::Error, BeepType::Exclamation, "ec", "qry"},
  };
  ASSERT_EQ(scripted.user.shown.size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(scripted.user.shown[i].kind, expected[i].kind) << i;
    EXPECT_EQ(scripted.user.shown[i].beep, expected[i].beep) << i;
    EXPECT_EQ(scripted.user.shown[i].text, QString::fromUtf8(expected[i].text)) << i;
    EXPECT_EQ(scripted.user.shown[i].caption, QString::fromUtf8(expected[i].caption)) << i;
  }
  // Every beep in order: the plain box has none, the lone one comes between.
  const std::vector<BeepType> beeps{BeepType::Exclamation, BeepType::Question,    BeepType::Exclamation,
                                    BeepType::Exclamation, BeepType::Exclamation, BeepType::Exclamation,
                                    BeepType::Exclamation};
  EXPECT_EQ(scripted.user.beeps, beeps);
}

TEST(UserSeamTest, UnexpectedQuestionFailsLoudly) {
  ScopedScriptedUser scripted;
  EXPECT_THROW(AskConfirmation(QStringLiteral("?")), std::logic_error);
}

TEST(UserSeamTest, WaitCursorNests) {
  ScopedScriptedUser scripted;
  BeginWaitCursor();
  BeginWaitCursor();
  EndWaitCursor();
  EXPECT_TRUE(scripted.user.waitCursor);
  EndWaitCursor();
  EXPECT_FALSE(scripted.user.waitCursor);
  EndWaitCursor();
  EXPECT_EQ(WaitCursorCount(), 0);
  BeginWaitCursor();
  EXPECT_TRUE(scripted.user.waitCursor);
  EndWaitCursor();
}

TEST(TextTest, Windows1252RoundTripsItsDefinedCharacters) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(char(b));
  EXPECT_EQ(toWindows1252(fromWindows1252(all)), all);
  EXPECT_EQ(fromWindows1252(std::string("\xe9\x80\x9c")), QStringLiteral("é€œ"));
  EXPECT_EQ(toWindows1252(QStringLiteral("日")), std::string("?"));
}

}  // namespace
}  // namespace kelvaro

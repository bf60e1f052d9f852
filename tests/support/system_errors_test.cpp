// System error texts, the Windows folder and the failure report.
#include <gtest/gtest.h>

#include "fixtures/temp_prefix.h"
#include "platform/win_types.h"
#include "support/errors.h"
#include "support/scripted_user.h"
#include "support/system_errors.h"

namespace kelvaro {
namespace {

TEST(SystemErrorsTest, CodeWithoutSystemTextFallsBackToTheNumber) {
  EXPECT_EQ(SystemErrorText(123456), QStringLiteral("code : 123456"));
}

TEST(SystemErrorsTest, KnownCodeGivesTheFrenchTextWithItsLineBreak) {
  EXPECT_EQ(SystemErrorText(5), QStringLiteral("Accès refusé.\r\n"));
}

TEST(SystemErrorsTest, WindowsFolderEndsWithABackslash) {
  fixtures::TempPrefix prefix;
  EXPECT_EQ(GetWindowsFolder().toLower(), QStringLiteral("c:\\windows\\"));
}

TEST(SystemErrorsTest, ReportApiErrorShowsOneBoxThenAbortsOrContinues) {
  for (bool carryOn : {false, true}) {
    SCOPED_TRACE(carryOn);
    ScopedScriptedUser scripted;
    platform::SetLastError(platform::kErrorAccessDenied);
    bool aborted = false;
    try {
      ReportApiError(QStringLiteral("GetComputerName 5"), carryOn);
    } catch (const SilentAbort&) {
      aborted = true;
    }
    EXPECT_EQ(aborted, !carryOn);
    ASSERT_EQ(scripted.user.shown.size(), 1u);
    EXPECT_EQ(scripted.user.shown[0].kind, MessageKind::Error);
    EXPECT_EQ(scripted.user.shown[0].beep, BeepType::Exclamation);
    EXPECT_EQ(scripted.user.shown[0].text, QStringLiteral("GetComputerName 5\r\nAccès refusé.\r\n"));
  }
}

TEST(SystemErrorsTest, OsErrorComposesTheRuntimeMessage) {
  EXPECT_EQ(OsError(2).message(),
            QStringLiteral("Erreur système.  Code : 2.\r\nLe fichier spécifié est introuvable.\r\n"));
}

}  // namespace
}  // namespace kelvaro

// ReplaceFile: the decision to replace an installed file, its two questions,
// and what the installed file looks like afterwards. Files without version
// resources are compared by date, which lets each case set "newer", "same"
// and "older" with plain files.
#include <sys/stat.h>

#include <optional>

#include "engine_fixture.h"
#include "products/product_paths.h"
#include "support/errors.h"

namespace {

using namespace kelvaro;
using enginetest::Day;

const std::string kInstalled = "C:\\WKelvaro\\Torvida\\Programs\\WKTorvida2.dll";
const QString kInstalledQ = QString::fromStdString(kInstalled);
const std::string kCarried = "C:\\Carried\\WKTorvida2.tmp";

const QString kSameQuestion = QStringLiteral(
    "Le fichier WKTorvida2.dll présent sur votre système est à jour.\r\nVoulez-vous tout de même continuer la mise à "
    "jour ?");
const QString kOlderQuestion = QStringLiteral(
    "Le fichier WKTorvida2.dll présent sur votre système est plus récent\r\nque celui qui est contenu dans cette mise "
    "à jour.\r\nVoulez-vous installer un ancien fichier ?");

enum class Installed { Missing, Older, Same, Newer, ReadOnlyOlder, InUseOlder };

struct ReplaceCase {
  const char* name;
  Installed installed;
  bool checkIfExists;
  bool simulate;
  std::optional<bool> answer;  // the answer to the one question, if asked
  TUpdateResultType result;
  bool copied;                 // the installed file holds the carried bytes
  QStringList report;          // lines; "COPY" stands for the two copy lines
};

const QStringList kCopyLines{QStringLiteral("Copie de ") + QString::fromStdString(kCarried),
                             QStringLiteral("vers ") + kInstalledQ + QStringLiteral("\r\n")};
const QStringList kSameLines{QStringLiteral("Le fichier ") + kInstalledQ,
                             QStringLiteral("est à jour : il n'est pas remplacé.\r\n")};
const QStringList kNotReplacedLines{QStringLiteral("Le fichier ") + kInstalledQ,
                                    QStringLiteral("n'est pas remplacé !!!\r\n")};

class ReplaceFileTest : public enginetest::EngineTest, public ::testing::WithParamInterface<ReplaceCase> {};

TEST_P(ReplaceFileTest, DecidesAsksAndCopies) {
  const ReplaceCase& c = GetParam();
  writeFile(kCarried, "carried", Day(0));
  switch (c.installed) {
    case Installed::Missing: prefix.makeDirectory("C:\\WKelvaro\\Torvida\\Programs"); break;
    case Installed::Older: writeFile(kInstalled, "installed", Day(-1)); break;
    case Installed::Same: writeFile(kInstalled, "installed", Day(0)); break;
    case Installed::Newer: writeFile(kInstalled, "installed", Day(1)); break;
    case Installed::ReadOnlyOlder:
    case Installed::InUseOlder: writeFile(kInstalled, "installed", Day(-1)); break;
  }
  if (c.installed == Installed::ReadOnlyOlder) chmod(prefix.hostPath(kInstalled).c_str(), 0444);
  std::optional<enginetest::FileHolder> holder;
  if (c.installed == Installed::InUseOlder) holder.emplace(prefix.hostPath(kInstalled));
  if (c.answer) scripted.user.answers.push_back(*c.answer);

  const TUpdateResultType result =
      engine->ReplaceFile(QString::fromStdString(kCarried), kInstalledQ, c.checkIfExists, c.simulate);

  EXPECT_EQ(result, c.result);
  EXPECT_TRUE(scripted.user.answers.empty()) << "the question was not asked";
  if (c.answer) {
    ASSERT_EQ(scripted.user.shown.size(), 1u);
    EXPECT_EQ(scripted.user.shown[0].kind, MessageKind::Confirmation);
    EXPECT_EQ(scripted.user.shown[0].text, c.installed == Installed::Same ? kSameQuestion : kOlderQuestion);
    // A lone exclamation beep first, then the question's own.
    EXPECT_EQ(scripted.user.beeps, (std::vector<BeepType>{BeepType::Exclamation, BeepType::Question}));
  } else {
    EXPECT_TRUE(scripted.user.shown.empty()) << scripted.user.shown[0].text.toStdString();
  }
  const bool present = exists(kInstalled);
  EXPECT_EQ(present && read(kInstalled) == "carried", c.copied);
  if (!c.copied && c.installed != Installed::Missing) {
    EXPECT_EQ(read(kInstalled), "installed");
  }
  if (c.copied) {
    EXPECT_TRUE(platform::GetFileAttributes(toW(kInstalledQ)) != platform::kInvalidFileAttributes);
    EXPECT_FALSE(platform::GetFileAttributes(toW(kInstalledQ)) & platform::kAttributeReadOnly);
  }
  EXPECT_EQ(report(), c.report);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, ReplaceFileTest,
    ::testing::Values(
        ReplaceCase{"Newer", Installed::Older, true, false, std::nullopt, urtOk, true, kCopyLines},
        ReplaceCase{"SameYes", Installed::Same, true, false, true, urtOk, true, kCopyLines},
        ReplaceCase{"SameNo", Installed::Same, true, false, false, urtNot, false, kSameLines},
        ReplaceCase{"OlderYes", Installed::Newer, true, false, true, urtOk, true, kCopyLines},
        ReplaceCase{"OlderNo", Installed::Newer, true, false, false, urtNot, false, kNotReplacedLines},
        ReplaceCase{"MissingCreated", Installed::Missing, false, false, std::nullopt, urtOk, true, kCopyLines},
        ReplaceCase{"ReadOnly", Installed::ReadOnlyOlder, true, false, std::nullopt, urtOk, true, kCopyLines},
        // Refused silently: the attempt's lines are the only trace.
        ReplaceCase{"InUse", Installed::InUseOlder, true, false, std::nullopt, urtKo, false, kCopyLines},
        ReplaceCase{"SimulateNewer", Installed::Older, true, true, std::nullopt, urtOk, false, {}},
        ReplaceCase{"SimulateSameYes", Installed::Same, true, true, true, urtOk, false, {}},
        ReplaceCase{"SimulateOlderNo", Installed::Newer, true, true, false, urtNot, false, kNotReplacedLines}),
    [](const ::testing::TestParamInfo<ReplaceCase>& info) { return std::string(info.param.name); });

class ReplaceFileErrors : public enginetest::EngineTest {};

TEST_F(ReplaceFileErrors, RefusesAMissingInstalledFileWhenAskedToCheck) {
  writeFile(kCarried, "carried");
  try {
    engine->ReplaceFile(QString::fromStdString(kCarried), kInstalledQ, true, false);
    FAIL() << "no error";
  } catch (const Error& error) {
    EXPECT_EQ(error.message(), QStringLiteral("Fichier pas trouvé : ") + kInstalledQ);
  }
  EXPECT_FALSE(exists(kInstalled));
  EXPECT_TRUE(report().isEmpty());
}

TEST_F(ReplaceFileErrors, LetsAMissingCarriedFileReachTheCaller) {
  writeFile(kInstalled, "installed");
  try {
    engine->ReplaceFile(QStringLiteral("C:\\Carried\\absent.tmp"), kInstalledQ, true, false);
    FAIL() << "no error";
  } catch (const Error& error) {
    EXPECT_EQ(error.message(), QStringLiteral("File not found : C:\\Carried\\absent.tmp"));
  }
  EXPECT_EQ(read(kInstalled), "installed");
}

}  // namespace

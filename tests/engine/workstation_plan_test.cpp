// The door of a dry run: it never makes a change (the change's function is
// never called), it describes each one from what is there and from what it
// planned before, and it answers the routine as the change would have.
#include "engine/workstation_plan.h"

#include "engine_fixture.h"
#include "platform/files.h"
#include "support/registry_access.h"

namespace {

using namespace kelvaro;
using Kind = WorkstationAction::Kind;

const QString kFolder = QStringLiteral("C:\\WKelvaro\\Torvida\\Programs\\");
const QString kKey = QStringLiteral("SOFTWARE\\KELVARO S.A.\\Torvida\\Program");

class WorkstationPlanTest : public enginetest::EngineTest {
 protected:
  // A change the plan must never make.
  const std::function<bool()> never = [this] {
    made = true;
    return true;
  };
  bool made = false;
  WorkstationPlan plan;
};

// Each step is planned after the ones before it, as a run would make them.
TEST_F(WorkstationPlanTest, FilesAndFoldersArePlannedOnWhatIsThereAndWhatWasPlannedBefore) {
  writeFile("C:\\WKelvaro\\Torvida\\Programs\\WKTorvida2.dll", enginetest::ProgramWithVersion(1, 2));
  const std::string library = enginetest::ProgramWithVersion(2, 0);
  writeFile("C:\\Kelvaro\\carried.dll", library);
  const QString carried = QStringLiteral("C:\\Kelvaro\\carried.dll");
  const QString help = QStringLiteral("C:\\WKelvaro\\Aide\\Images\\");
  const struct Step {
    const char* what;
    std::function<bool()> plan;
    bool answer;
    uint32_t error;  // the last error after a refusal
    QList<std::pair<Kind, QString>> listed;  // what the step adds to the plan
    QString before, after;                   // of the last action listed
  } steps[] = {
      {"the library replaced", [&] { return plan.WriteFile(kFolder + "WKTorvida2.dll", carried, never); }, true, 0,
       {{Kind::ReplaceFile, kFolder + "WKTorvida2.dll"}}, QStringLiteral("1.2.0.0"), QStringLiteral("2.0.0.0")},
      {"replaced again: the version is the planned one",
       [&] { return plan.WriteFile(kFolder + "WKTorvida2.dll", carried, never); }, true, 0,
       {{Kind::ReplaceFile, kFolder + "WKTorvida2.dll"}}, QStringLiteral("2.0.0.0"), QStringLiteral("2.0.0.0")},
      {"a file in a folder that is not there",
       [&] { return plan.WriteFile(help + "logo.bmp", QString(), never); }, false, platform::kErrorPathNotFound, {},
       {}, {}},
      {"the folder planned", [&] { return plan.CreateFolder(help); }, true, 0, {{Kind::CreateFolder, help}}, {}, {}},
      {"planned once", [&] { return plan.CreateFolder(help); }, true, 0, {}, {}, {}},
      {"its parent counts as there", [&] { return plan.CreateFolder(QStringLiteral("C:\\WKelvaro\\Aide")); }, true, 0,
       {}, {}, {}},
      {"now the file can be written", [&] { return plan.WriteFile(help + "logo.bmp", QString(), never); }, true, 0,
       {{Kind::CreateFile, help + "logo.bmp"}}, {}, {}},
      {"a second write of a new file copies over the first",
       [&] { return plan.WriteFile(help + "logo.bmp", QString(), never); }, true, 0,
       {{Kind::CopyFile, help + "logo.bmp"}}, {}, {}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    platform::SetLastError(0);
    EXPECT_EQ(step.plan(), step.answer);
    if (!step.answer) {
      EXPECT_EQ(platform::GetLastError(), step.error);
    }
    QList<std::pair<Kind, QString>> listed;
    const std::vector<WorkstationAction> actions = plan.TakeActions();
    for (const WorkstationAction& a : actions) listed.append({a.kind, a.target});
    EXPECT_EQ(listed, step.listed);
    if (!actions.empty()) {
      EXPECT_EQ(actions.back().before, step.before);
      EXPECT_EQ(actions.back().after, step.after);
    }
  }
  EXPECT_FALSE(made);
  EXPECT_FALSE(exists("C:\\WKelvaro\\Aide"));
  EXPECT_EQ(read("C:\\WKelvaro\\Torvida\\Programs\\WKTorvida2.dll"), enginetest::ProgramWithVersion(1, 2));
}

TEST_F(WorkstationPlanTest, AFileAnotherProgramHoldsIsInUseAndRefusedAsTheRunRefusesIt) {
  writeFile("C:\\WKelvaro\\Torvida\\Programs\\WKTorvida2.dll", "installed");
  const enginetest::FileHolder holder(prefix.hostPath("C:\\WKelvaro\\Torvida\\Programs\\WKTorvida2.dll"));
  EXPECT_FALSE(plan.WriteFile(kFolder + "WKTorvida2.dll", QString(), never));
  EXPECT_EQ(platform::GetLastError(), platform::kErrorSharingViolation);
  const std::vector<WorkstationAction> actions = plan.TakeActions();
  ASSERT_EQ(actions.size(), 1u);
  EXPECT_EQ(actions[0].kind, Kind::FileInUse);
  EXPECT_FALSE(actions[0].changes());
  EXPECT_FALSE(made);
}

// Each value's data before is what is set, or what the plan set before.
TEST_F(WorkstationPlanTest, RegistryValuesArePlannedFromTheirDataBefore) {
  WriteRegistryString(kHkeyCurrentUser, kKey, QStringLiteral("Filename"), QStringLiteral("C:\\Ancien\\WKTorvida2.dll"));
  const QString now = kFolder + QStringLiteral("WKTorvida2.dll");
  const struct {
    const char* what;
    QString name, data;
    QString before;  // null: not set
    bool changes;
  } cases[] = {
      {"another path", QStringLiteral("Filename"), now, QStringLiteral("C:\\Ancien\\WKTorvida2.dll"), true},
      {"the path planned", QStringLiteral("Filename"), now, now, false},
      {"a value not set", QStringLiteral("Autre"), now, QString(), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_TRUE(plan.SetRegistryValue(kHkeyCurrentUser, kKey, c.name, c.data, never));
    const std::vector<WorkstationAction> actions = plan.TakeActions();
    ASSERT_EQ(actions.size(), 1u);
    EXPECT_EQ(actions[0].before.isNull(), c.before.isNull());
    EXPECT_EQ(actions[0].before, c.before);
    EXPECT_EQ(actions[0].after, c.data);
    EXPECT_EQ(actions[0].changes(), c.changes);
  }
  EXPECT_EQ(ReadRegistryString(kHkeyCurrentUser, kKey, QStringLiteral("Filename")),
            QStringLiteral("C:\\Ancien\\WKTorvida2.dll"));
  EXPECT_FALSE(made);
}

TEST_F(WorkstationPlanTest, APrintListIsInspectedNeverStored) {
  bool stored = false;
  const PrintListStore would = plan.StorePrintList(
      QStringLiteral("Alpha"), QStringLiteral("adresses"), [] { return PrintListStore{false, QString(), true}; },
      [&] {
        stored = true;
        return PrintListStore{};
      });
  EXPECT_FALSE(stored);
  EXPECT_TRUE(would.sameText);
  const std::vector<WorkstationAction> actions = plan.TakeActions();
  ASSERT_EQ(actions.size(), 1u);
  EXPECT_EQ(actions[0].kind, Kind::UpdateList);
  EXPECT_FALSE(actions[0].changes()) << "the stored text is the carried one";
}

}  // namespace

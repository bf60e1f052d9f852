// An update executable asked to run unattended, and the same update run by
// kelvaro-update-batch: one code path, so the same report, the same
// messages, exit code, installed files and stored lists, whichever habit the
// options are written in. The update itself runs where no display can be
// opened, as over SSH.
#include "e2e_fixture.h"

#include <functional>
#include <map>

#if defined(KELVARO_UPDATE_BATCH) && defined(KELVARO_PACK) && defined(KELVARO_UPDATE)

namespace {

using e2e::BatchRun;
namespace fs = std::filesystem;

class UnattendedUpdateTest : public e2e::UpdateRunTest {
 protected:
  struct Outcome {
    BatchRun run;
    std::map<std::string, std::string> programFiles;  // name -> bytes
    QStringList lists;
  };

  // The program folder emptied, the library from installed, no list stored;
  // then runIt, and what it left.
  Outcome FromFreshState(const char* installed, const dbtest::CompanyDatabase& db,
                         const std::function<BatchRun()>& runIt) {
    const std::string folder = prefix.hostPath("C:\\WKelvaro\\Torvida\\Programs");
    fs::remove_all(folder);
    installTorvida(installed);
    db.exec({QStringLiteral("DELETE FROM PRT_Params")});
    Outcome outcome{runIt(), {}, {}};
    for (const auto& entry : fs::directory_iterator(folder)) {
      std::ifstream in(entry.path(), std::ios::binary);
      outcome.programFiles[entry.path().filename().string()] = std::string(std::istreambuf_iterator<char>(in), {});
    }
    outcome.lists = StoredLists(db);
    return outcome;
  }
};

TEST_F(UnattendedUpdateTest, RunsExactlyAsTheBatchRunnerDoes) {
  carryTorvidaUpdate();
  const auto& db = companyDatabase(QStringLiteral("Paths"));
  const std::string byBatch = pack();
  const std::string itself = package().pack(updateName() + "Poste", fixtures::UpdatePackage::Base::Wizard);
  ASSERT_FALSE(itself.empty());

  const struct {
    const char* installed;
    QStringList batchArgs;
    QStringList ownArgs;
    int exitCode;
  } cases[] = {
      {"torvida_1_2_3_9.dll", {}, {QStringLiteral("--unattended")}, 0},
      {"torvida_2_0_0_0.dll", {}, {QStringLiteral("/SILENT")}, 2},  // the same-version question, declined
      {"torvida_2_0_0_0.dll",
       {QStringLiteral("--answer"), QStringLiteral("yes")},
       {QStringLiteral("/silent"), QStringLiteral("/Answer=Yes")},
       0},
      {"torvida_2_0_0_0.dll",
       {QStringLiteral("--answer"), QStringLiteral("no")},
       {QStringLiteral("--unattended"), QStringLiteral("--answer"), QStringLiteral("no")},
       2},
  };
  for (const auto& c : cases) {
    const std::string what = c.ownArgs.join(QLatin1Char(' ')).toStdString();
    const Outcome batch = FromFreshState(c.installed, db, [&] { return run(byBatch, c.batchArgs); });
    const Outcome own = FromFreshState(c.installed, db, [&] {
      BatchRun result = fixtures::RunUpdateItself(itself, c.ownArgs);
      result.out = Normalised(result.out);
      return result;
    });
    EXPECT_EQ(batch.run.exitCode, c.exitCode) << what;
    EXPECT_EQ(own.run.exitCode, c.exitCode) << what << "\n" << own.run.err.toStdString();
    EXPECT_EQ(own.run.out, batch.run.out) << what;
    EXPECT_EQ(own.run.err, batch.run.err) << what;
    EXPECT_TRUE(own.programFiles == batch.programFiles) << what;
    EXPECT_EQ(own.lists, batch.lists) << what;
    EXPECT_EQ(own.lists.isEmpty(), c.exitCode != 0) << what;
  }
}

}  // namespace

#endif

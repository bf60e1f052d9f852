// An update executable asked to run unattended, and the same update run by
// kelvaro-update-batch: one code path, so the same report, the same
// messages, exit code, installed files and stored lists, whichever habit the
// options are written in, and the same JSON document when one is asked for.
// The update itself runs where no display can be opened, as over SSH.
#include "e2e_fixture.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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
    QJsonObject json;  // without "update", which names each its own executable
  };

  // The JSON document at path, its report and messages normalised as the
  // report on standard output is.
  static QJsonObject ReadJson(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QJsonObject json = QJsonDocument::fromJson(file.readAll()).object();
    json.remove(QStringLiteral("update"));
    QJsonArray report;
    for (const QJsonValue& line : json[QStringLiteral("report")].toArray()) report.append(Normalised(line.toString()));
    json[QStringLiteral("report")] = report;
    QJsonArray messages;
    for (const QJsonValue& message : json[QStringLiteral("messages")].toArray()) {
      QJsonObject normalised = message.toObject();
      normalised[QStringLiteral("text")] = Normalised(normalised[QStringLiteral("text")].toString());
      messages.append(normalised);
    }
    json[QStringLiteral("messages")] = messages;
    return json;
  }

  // The program folder emptied, the library from installed, no list stored;
  // then runIt, and what it left, with the JSON document it wrote at json.
  Outcome FromFreshState(const char* installed, const dbtest::CompanyDatabase& db, const QString& json,
                         const std::function<BatchRun()>& runIt) {
    QFile::remove(json);
    const std::string folder = prefix.hostPath("C:\\WKelvaro\\Torvida\\Programs");
    fs::remove_all(folder);
    installTorvida(installed);
    db.exec({QStringLiteral("DELETE FROM PRT_Params")});
    Outcome outcome{runIt(), {}, {}, {}};
    for (const auto& entry : fs::directory_iterator(folder)) {
      std::ifstream in(entry.path(), std::ios::binary);
      outcome.programFiles[entry.path().filename().string()] = std::string(std::istreambuf_iterator<char>(in), {});
    }
    outcome.lists = StoredLists(db);
    outcome.json = ReadJson(json);
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
      // Planned, not done: nothing installed, nothing stored.
      {"torvida_1_2_3_9.dll", {QStringLiteral("--dry-run")}, {QStringLiteral("/DryRun")}, 10},
      {"torvida_2_0_0_0.dll", {QStringLiteral("--dry-run")}, {QStringLiteral("--dry-run")}, 0},
  };
  const QString batchJson = QString::fromStdString(work + "/batch.json");
  const QString ownJson = QString::fromStdString(work + "/own.json");
  for (const auto& c : cases) {
    // The JSON document asked for in the habit of the other options.
    const QStringList ownArgs =
        c.ownArgs + (c.ownArgs[0].startsWith(QLatin1Char('/')) ? QStringList{QStringLiteral("/JSON=") + ownJson}
                                                               : QStringList{QStringLiteral("--json"), ownJson});
    const std::string what = ownArgs.join(QLatin1Char(' ')).toStdString();
    const Outcome batch = FromFreshState(c.installed, db, batchJson, [&] {
      return run(byBatch, c.batchArgs + QStringList{QStringLiteral("--json"), batchJson});
    });
    const Outcome own = FromFreshState(c.installed, db, ownJson, [&] {
      BatchRun result = fixtures::RunUpdateItself(itself, ownArgs);
      result.out = Normalised(result.out);
      return result;
    });
    EXPECT_EQ(batch.run.exitCode, c.exitCode) << what;
    EXPECT_EQ(own.run.exitCode, c.exitCode) << what << "\n" << own.run.err.toStdString();
    EXPECT_EQ(own.run.out, batch.run.out) << what;
    EXPECT_EQ(own.run.err, batch.run.err) << what;
    EXPECT_TRUE(own.programFiles == batch.programFiles) << what;
    EXPECT_EQ(own.lists, batch.lists) << what;
    EXPECT_FALSE(batch.json.isEmpty()) << what;
    EXPECT_EQ(own.json, batch.json) << what << "\n"
                                    << QJsonDocument(own.json).toJson().toStdString() << "\n"
                                    << QJsonDocument(batch.json).toJson().toStdString();
    EXPECT_EQ(own.lists.isEmpty(), c.exitCode != 0 || c.batchArgs.contains(QStringLiteral("--dry-run"))) << what;
  }
}

}  // namespace

#endif

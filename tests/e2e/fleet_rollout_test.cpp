// Six workstations rolling the address manager's update out at the same
// moment into the same three company databases, as an administrator's
// roll-out does. Several rounds, so that the runs really meet on the same
// rows: into empty tables (every workstation wants to add every list) and
// into tables that hold the lists (every workstation updates them). Every run
// must end as a lone run would, every list be stored once and whole, each
// list be reported added by exactly one workstation when it was new, and no
// workstation be left registered as present.
#include "e2e_fixture.h"
#include "fixtures/workstation_fleet.h"

#if defined(KELVARO_UPDATE_BATCH) && defined(KELVARO_PACK)

namespace {

using e2e::BatchRun;

constexpr int kWorkstations = 6;
constexpr int kRounds = 4;
const char* const kOldLibrary = "torvida_1_2_3_9.dll";

using fixtures::FleetList;
using fixtures::FleetLists;

class FleetRolloutTest : public e2e::UpdateRunTest {
 protected:
  // What a lone run reports when every list is already stored.
  static QString AllUpdatedReport(const QStringList& companyNames) {
    QStringList updated;
    for (const FleetList& list : FleetLists()) updated << e2e::Updated(list.key);
    QString report = e2e::kTitle + e2e::Copies(e2e::kAllFiles);
    for (const QString& company : companyNames) report += e2e::Company(company, updated);
    return report + e2e::kSuccess;
  }

  // The report with every "added" line turned into the "updated" line of the
  // same list; counts the added lines into added (one per list and company).
  static QString CountingAdded(QString report, std::map<QString, int>* added) {
    QString company;
    QStringList lines = report.split(QLatin1Char('\n'));
    for (QString& line : lines) {
      if (line.startsWith(QStringLiteral("Mise à jour de listes pour la société "))) company = line;
      for (const FleetList& list : FleetLists()) {
        if (line != e2e::Added(list.fTitle)) continue;
        ++(*added)[company + QLatin1Char('/') + list.key];
        line = e2e::Updated(list.key);
      }
    }
    return lines.join(QLatin1Char('\n'));
  }

  // Every carried list once, with its titles and its whole text.
  static void ExpectListsStoredOnce(const dbtest::CompanyDatabase& db, const std::string& where) {
    const QList<QVariantList> rows =
        db.rows(QStringLiteral("SELECT pname, f_text, print_params FROM PRT_Params ORDER BY pname"));
    std::vector<FleetList> expected = FleetLists();
    std::sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) { return a.key < b.key; });
    ASSERT_EQ(rows.size(), qsizetype(expected.size())) << where;
    for (size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(rows[qsizetype(i)][0].toString(), expected[i].key) << where;
      EXPECT_EQ(rows[qsizetype(i)][1].toString(), expected[i].fTitle) << where;
      EXPECT_EQ(rows[qsizetype(i)][2].toString(), QString::fromLatin1(expected[i].definition)) << where;
    }
    EXPECT_TRUE(db.rows(QStringLiteral("SELECT username FROM Users")).isEmpty()) << where << ": presence left";
  }
};

TEST_F(FleetRolloutTest, SixWorkstationsAtOnceEndAsALoneRunWould) {
  fixtures::CarryFleetUpdate(package(), "torvida_2_0_0_0.dll");
  const std::string update = pack();
  ASSERT_FALSE(HasFailure());
  const QStringList companyNames{QStringLiteral("Alpha"), QStringLiteral("Beta"), QStringLiteral("Default")};
  std::vector<std::unique_ptr<dbtest::CompanyDatabase>> shared;
  std::vector<fixtures::SharedCompany> companies;
  for (const QString& name : {QStringLiteral("Alpha"), QStringLiteral("Beta"), QString()}) {
    shared.push_back(std::make_unique<dbtest::CompanyDatabase>());
    companies.push_back({name, shared.back()->folder().path()});
  }
  const fixtures::WorkstationFleet fleet(kWorkstations, companies, kOldLibrary);

  for (int round = 0; round < kRounds; ++round) {
    // Even rounds start from empty tables, odd ones from the lists stored
    // with a text of an older update.
    const bool tablesEmpty = round % 2 == 0;
    for (const auto& db : shared) {
      db->exec({tablesEmpty ? QStringLiteral("DELETE FROM PRT_Params")
                            : QStringLiteral("UPDATE PRT_Params SET print_params = 'older text'")});
    }
    for (int i = 0; i < fleet.size(); ++i) fixtures::InstallTorvida(fleet.workstation(i), kOldLibrary);

    const std::vector<BatchRun> runs = fleet.runTogether(update);
    std::map<QString, int> added;
    for (size_t i = 0; i < runs.size(); ++i) {
      const std::string where = "round " + std::to_string(round) + ", " +
                                fixtures::WorkstationFleet::ComputerName(int(i)).toStdString();
      EXPECT_EQ(runs[i].exitCode, 0) << where;
      EXPECT_EQ(runs[i].err, QString()) << where;
      EXPECT_EQ(CountingAdded(Normalised(runs[i].out), &added), AllUpdatedReport(companyNames)) << where;
    }
    for (const QString& company : companyNames) {
      for (const FleetList& list : FleetLists()) {
        const QString which = QStringLiteral("Mise à jour de listes pour la société ") + company + QLatin1Char('/') + list.key;
        EXPECT_EQ(added[which], tablesEmpty ? 1 : 0) << "round " << round << ": " << which.toStdString();
      }
    }
    for (size_t c = 0; c < shared.size(); ++c)
      ExpectListsStoredOnce(*shared[c], "round " + std::to_string(round) + ", " + companyNames[qsizetype(c)].toStdString());
    if (HasFailure()) break;
  }
}

}  // namespace

#endif

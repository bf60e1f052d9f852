// kelvaro-update-batch --dry-run on workstations in different states: the
// plan changes nothing at all (every file of the prefix with its times, the
// registry files, the company's rows, the presence table included), and it
// is what the run then does: the same actions, in the same order, with the
// same versions, answers and list titles, and an exit code that tells
// whether anything would change. Whatever makes a run fail before its
// routine makes the dry run fail the same way.
#include "e2e_fixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <map>

#include "fixtures/test_user.h"
#include "fixtures/registry_values.h"
#include "tree_state.h"

#if defined(KELVARO_UPDATE_BATCH) && defined(KELVARO_PACK)

namespace {

using e2e::BatchRun;
using e2e::Differences;
using e2e::TreeState;
namespace fs = std::filesystem;

class DryRunTest : public e2e::UpdateRunTest {
 protected:
  void SetUp() override {
    e2e::UpdateRunTest::SetUp();
    if (IsSkipped()) return;
    // The update carries 1.2.4.0: 1.2.3.9 is older, 2.0.0.0 newer.
    PackedUpdateTest::carryTorvidaUpdate("torvida_1_2_4_0.dll");
    carry("PrintLists.txt", "Adresses.lst\r\nEtiquettes.lst\r\n");
    carry("Adresses.lst", e2e::ListDefinition("Liste des adresses", "Adressliste", "Elenco indirizzi"));
    carry("Etiquettes.lst", e2e::ListDefinition("\xc9tiquettes", "Etiketten", "Etichette"));
    alpha = &companyDatabase(QStringLiteral("Alpha"));
    beta = &companyDatabase(QStringLiteral("Beta"));
    companies("Alpha\r\nBeta\r\n");
  }
  void TearDown() override {
    if (holder) {
      holder->kill();
      holder->waitForFinished();
    }
    e2e::UpdateRunTest::TearDown();
  }

  // The prefix, and each company's lists and presence rows.
  struct State {
    std::map<std::string, std::string> prefix;
    QList<QVariantList> rows;
  };
  State state() const {
    State s{TreeState(prefix.root()), {}};
    for (const auto* db : {alpha, beta}) {
      s.rows += db->rows(QStringLiteral("SELECT pname, print_params FROM PRT_Params ORDER BY pname"));
      s.rows += db->rows(QStringLiteral("SELECT username, lastcheck FROM Users ORDER BY username"));
    }
    return s;
  }
  // What the run may change that is the user's: the program folder, the
  // registry and the lists (a run also writes and removes its temporary
  // files and its journal, which changes their folders' times).
  State ownedState() const {
    // A run that was undone leaves its folders' times changed: the files
    // are what the user owns.
    State s{TreeState(prefix.hostPath("C:\\WKelvaro"), false), {}};
    for (const char* reg : {"/user.reg", "/system.reg"}) {
      s.prefix[reg] = fixtures::RegistryValues(prefix.root() + reg);
    }
    for (const auto* db : {alpha, beta})
      s.rows += db->rows(QStringLiteral("SELECT pname, print_params FROM PRT_Params ORDER BY pname"));
    return s;
  }

  // A presence row an hour old: any registration in the database purges it.
  void addStalePresence() const {
    for (const auto* db : {alpha, beta})
      db->exec({QStringLiteral("INSERT INTO Users (username, lastcheck) VALUES ('poste-ancien', '2001-01-01')")});
  }
  void holdLibrary() {
    holder = std::make_unique<QProcess>();
    holder->start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("exec 3<\"$1\"; echo ready; exec sleep 300"),
                                         QStringLiteral("sh"), QString::fromStdString(prefix.hostPath(e2e::kInstalled))});
    ASSERT_TRUE(holder->waitForReadyRead(10000));
  }

  // The actions of the JSON document at path.
  static QJsonArray Actions(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QJsonDocument::fromJson(file.readAll()).object()[QStringLiteral("actions")].toArray();
  }
  static QStringList Kinds(const QJsonArray& actions) {
    QStringList kinds;
    for (const QJsonValue& a : actions) kinds << a[QStringLiteral("action")].toString();
    return kinds;
  }

  const dbtest::CompanyDatabase* alpha = nullptr;
  const dbtest::CompanyDatabase* beta = nullptr;
  std::unique_ptr<QProcess> holder;
};

// One workstation state per row: the plan, then the run.
TEST_F(DryRunTest, ThePlanChangesNothingAndIsWhatTheRunThenDoes) {
  const std::string update = pack();
  const QString planJson = QString::fromStdString(work + "/plan.json");
  const QString runJson = QString::fromStdString(work + "/run.json");
  const QStringList allLists{QStringLiteral("add-list"), QStringLiteral("add-list"), QStringLiteral("company-reached"),
                             QStringLiteral("add-list"), QStringLiteral("add-list")};
  const QStringList files{QStringLiteral("replace"),     QStringLiteral("set-value"), QStringLiteral("create"),
                          QStringLiteral("create"),      QStringLiteral("create"),    QStringLiteral("create"),
                          QStringLiteral("company-reached")};
  const struct Case {
    const char* what;
    const char* installed;
    QStringList answer;
    std::function<void()> prepare;
    int planCode;  // 0 nothing would change, 10 something would, 11 the run would fail
    int runCode;
    QStringList kinds;  // of the plan's actions, which the run's must equal
  } cases[] = {
      {"older library", "torvida_1_2_3_9.dll", {}, [] {}, 10, 0, files + allLists},
      {"up to date, the question answered no", "torvida_1_2_4_0.dll", {}, [] {}, 0, 2,
       {QStringLiteral("question"), QStringLiteral("keep")}},
      {"newer library, the question answered no", "torvida_2_0_0_0.dll", {}, [] {}, 0, 2,
       {QStringLiteral("question"), QStringLiteral("keep")}},
      {"newer library, the question answered yes", "torvida_2_0_0_0.dll",
       {QStringLiteral("--answer"), QStringLiteral("yes")}, [] {}, 10, 0,
       QStringList{QStringLiteral("question")} + files + allLists},
      {"lists already current in one company", "torvida_1_2_3_9.dll", {},
       [&] {
         alpha->exec({QStringLiteral("DELETE FROM PRT_Params")});
         beta->exec({QStringLiteral("DELETE FROM PRT_Params")});
         // What the first row's run stored, put back in Alpha only.
         const fixtures::ToolRun first = run(update);
         ASSERT_EQ(first.exitCode, 0) << first.err.toStdString();
         beta->exec({QStringLiteral("DELETE FROM PRT_Params")});
         installTorvida("torvida_1_2_3_9.dll");
       },
       10, 0,
       QStringList{QStringLiteral("replace"), QStringLiteral("set-value"), QStringLiteral("copy"), QStringLiteral("copy"),
                   QStringLiteral("copy"), QStringLiteral("copy"), QStringLiteral("company-reached")} +
           QStringList{QStringLiteral("update-list"), QStringLiteral("update-list"), QStringLiteral("company-reached"),
                       QStringLiteral("add-list"), QStringLiteral("add-list")}},
      {"one company unreachable", "torvida_1_2_3_9.dll", {},
       [&] {
         registerName(QStringLiteral("Succursale"), QStringLiteral("127.0.0.1/3099:D:\\company.fdb"));
         companies("Alpha\r\nSuccursale\r\nBeta\r\n");
       },
       10, 3,
       files + QStringList{QStringLiteral("add-list"), QStringLiteral("add-list"), QStringLiteral("company-unreachable"),
                           QStringLiteral("company-reached"), QStringLiteral("add-list"), QStringLiteral("add-list")}},
      {"library in use", "torvida_1_2_3_9.dll", {}, [&] { holdLibrary(); }, 11, 1, {QStringLiteral("in-use")}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(prefix.hostPath("C:\\WKelvaro\\Torvida\\Programs"));
    installTorvida(c.installed);
    for (const auto* db : {alpha, beta}) db->exec({QStringLiteral("DELETE FROM PRT_Params")});
    companies("Alpha\r\nBeta\r\n");
    c.prepare();
    if (HasFatalFailure()) return;
    addStalePresence();

    const State before = state();
    const BatchRun plan = run(update, c.answer + QStringList{QStringLiteral("--dry-run"), QStringLiteral("--json"), planJson});
    const State afterPlan = state();
    EXPECT_EQ(plan.exitCode, c.planCode) << plan.out.toStdString() << plan.err.toStdString();
    EXPECT_TRUE(afterPlan.prefix == before.prefix) << "changed by the plan:" << Differences(before.prefix, afterPlan.prefix);
    EXPECT_EQ(afterPlan.rows, before.rows) << "a database row changed (presence included)";
    const QJsonArray planned = Actions(planJson);
    EXPECT_EQ(Kinds(planned), c.kinds) << plan.out.toStdString();

    const State owned = ownedState();
    const BatchRun done = run(update, c.answer + QStringList{QStringLiteral("--json"), runJson});
    EXPECT_EQ(done.exitCode, c.runCode) << done.out.toStdString() << done.err.toStdString();
    EXPECT_EQ(Actions(runJson), planned) << QJsonDocument(Actions(runJson)).toJson().toStdString();
    const State ownedAfter = ownedState();
    const bool changed = ownedAfter.prefix != owned.prefix || ownedAfter.rows != owned.rows;
    EXPECT_EQ(changed, c.planCode == 10) << Differences(owned.prefix, ownedAfter.prefix);
    if (holder) {
      holder->kill();
      holder->waitForFinished();
      holder.reset();
    }
  }
}

TEST_F(DryRunTest, ThePlanIsPrintedInFrenchWithVersionsAnswersAndLists) {
  installTorvida("torvida_1_2_3_9.dll");
  alpha->exec({QStringLiteral("INSERT INTO PRT_Params (pname, d_text, f_text, i_text, compat, print_params) VALUES "
                              "('adresses', 'a', 'b', 'c', 'd', 'autre')")});
  const BatchRun plan = run(pack(), {QStringLiteral("--dry-run")});
  EXPECT_EQ(plan.exitCode, 10) << plan.err.toStdString();
  for (const QString& line :
       {QStringLiteral("Simulation de la mise à jour : Mise à jour Torvida  <date>"),
        QStringLiteral("Le fichier C:\\WKelvaro\\Torvida\\Programs\\WKTorvida2.dll serait remplacé (version 1.2.3.9 "
                       "installée, version 1.2.4.0 dans la mise à jour)."),
        QStringLiteral("Le fichier C:\\WKelvaro\\Torvida\\Programs\\ssleay32.dll serait créé."),
        QStringLiteral("Connexion à la société Alpha : possible."),
        QStringLiteral("Les paramètres pour l'impression : \"adresses\" seraient mis à jour (société Alpha)."),
        QStringLiteral("Les paramètres pour l'impression : \"Liste des adresses\" seraient ajoutés (société Beta)."),
        QStringLiteral("La valeur HKEY_CURRENT_USER\\SOFTWARE\\KELVARO S.A.\\Torvida\\Program\\Filename est déjà « "
                       "C:\\WKelvaro\\Torvida\\Programs\\WKTorvida2.dll »."),
        QStringLiteral("La mise à jour ferait 9 modification(s) : rien n'a encore été modifié.")}) {
    EXPECT_TRUE(plan.out.contains(line)) << line.toStdString() << "\n" << plan.out.toStdString();
  }
  EXPECT_FALSE(plan.out.contains(QStringLiteral("Copie de"))) << "a plan copies nothing";
}

// A required companion the update does not carry: the plan foretells the
// failure, with the run's words, and the run then fails there and undoes
// what it did before it.
TEST_F(DryRunTest, AMissingRequiredFileIsTheFailureThePlanForetells) {
  installTorvida("torvida_1_2_3_9.dll");
  drop("ssleay32.dll");
  const std::string update = pack();
  const QString planJson = QString::fromStdString(work + "/plan.json");
  const QString runJson = QString::fromStdString(work + "/run.json");
  const BatchRun plan = run(update, {QStringLiteral("--dry-run"), QStringLiteral("--json"), planJson});
  EXPECT_EQ(plan.exitCode, 11);
  EXPECT_TRUE(plan.out.contains(QStringLiteral("Cannot find ssleay32.dll"))) << plan.out.toStdString();
  EXPECT_TRUE(plan.out.contains(QStringLiteral("La mise à jour échouerait")));
  const QJsonArray planned = Actions(planJson);
  ASSERT_FALSE(planned.isEmpty());
  EXPECT_EQ(planned.last()[QStringLiteral("action")].toString(), QStringLiteral("failure"));

  const State owned = ownedState();
  const BatchRun done = run(update, {QStringLiteral("--json"), runJson});
  EXPECT_EQ(done.exitCode, 1);
  EXPECT_EQ(Actions(runJson), planned);
  EXPECT_TRUE(ownedState().prefix == owned.prefix) << "the failed run is undone:" << Differences(owned.prefix, ownedState().prefix);
}

// Each way a run fails before its routine: the dry run fails the same way,
// with the same words and exit code, and plans nothing.
TEST_F(DryRunTest, WhatStopsARunStopsItsPlanTheSameWay) {
  installTorvida("torvida_1_2_3_9.dll");
  const std::string update = pack();
  const std::string notAnUpdate = work + "/MajTorvida.txt";
  std::ofstream(notAnUpdate) << "not an update\n";
  const std::string damaged = work + "/MajTorvidaAbimee";
  fs::copy_file(update, damaged);
  {
    std::fstream file(damaged, std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(-4096, std::ios::end);
    file.put('\x5a');
  }
  const std::string key = work + "/cle.public";
  std::ofstream(key) << "not a key\n";
  const struct {
    const char* what;
    std::string update;
    QStringList args;
    std::string prefixRoot;
  } cases[] = {
      {"a file that is not an update", notAnUpdate, {}, {}},
      {"a damaged update", damaged, {}, {}},
      {"an unreadable key", update, {QStringLiteral("--trust"), QString::fromStdString(key)}, {}},
      {"no prefix", update, {}, work + "/pas-de-prefixe"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto runIn = [&](const QStringList& more) {
      QProcess process;
      fixtures::StartBatch(&process, c.update, c.args + more, c.prefixRoot);
      BatchRun result = fixtures::FinishBatch(&process);
      result.out = Normalised(result.out);
      return result;
    };
    const State before = state();
    const BatchRun planned = runIn({QStringLiteral("--dry-run")});
    const BatchRun done = runIn({});
    EXPECT_NE(done.exitCode, 0);
    EXPECT_EQ(planned.exitCode, done.exitCode);
    EXPECT_EQ(planned.err, done.err);
    EXPECT_EQ(planned.out, done.out);
    EXPECT_FALSE(planned.out.contains(QStringLiteral("Simulation")));
    EXPECT_TRUE(state().prefix == before.prefix);
  }
}

TEST_F(DryRunTest, AnotherUsersPrefixIsRefusedAsTheRunRefusesIt) {
  installTorvida("torvida_1_2_3_9.dll");
  const std::string update = pack();
  fixtures::TestUser owner;
  if (!owner.available()) GTEST_SKIP() << owner.whyNot();
  ASSERT_TRUE(owner.giveTree(prefix.root()));
  const State before = state();
  const BatchRun planned = run(update, {QStringLiteral("--dry-run")});
  const BatchRun done = run(update);
  EXPECT_EQ(done.exitCode, 5);
  EXPECT_EQ(planned.exitCode, 5);
  EXPECT_EQ(planned.err, done.err);
  EXPECT_TRUE(state().prefix == before.prefix);
}

}  // namespace

#endif

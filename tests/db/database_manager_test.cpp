// The database manager on a real company database: opening, identity and
// version rows, presence registration with its retries, dataset registry
// and the nested brackets of the main transaction.
#include <gtest/gtest.h>

#include <thread>

#include "company_database.h"
#include "db/database_manager.h"
#include "support/errors.h"
#include "support/scripted_user.h"

using namespace kelvaro;
using namespace kelvaro::db;

namespace {

class DatabaseManagerTest : public testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_FIREBIRD_SERVER();
    company_ = std::make_unique<dbtest::CompanyDatabase>();
    transaction_.setObjectName(QStringLiteral("GlobalTransaction"));
    manager_.setDatabase(&database_);
    manager_.setTransaction(&transaction_);
    manager_.ConnectionString = QStringLiteral("127.0.0.1:") + company_->file();
    manager_.UserName = dbtest::kUser;
    manager_.Password = dbtest::kPassword;
    manager_.setPauseFunction([this](int ms) { pauses_.push_back(ms); });
  }

  qint64 PresenceRows(const QString& name) const {
    QString literal = name;
    literal.replace(QLatin1Char('\''), QLatin1String("''"));
    return company_->rows(QStringLiteral("SELECT COUNT(*) FROM Users WHERE username = '%1'").arg(literal))[0][0].toLongLong();
  }

  // The main transaction is idle and no bracket is open.
  void ExpectIdle() const {
    EXPECT_EQ(transaction_.tag, 0);
    EXPECT_FALSE(transaction_.active());
    EXPECT_EQ(manager_.ActiveTransactionCount(), 0);
  }

  ScopedScriptedUser scripted_;
  std::unique_ptr<dbtest::CompanyDatabase> company_;
  IbDatabase database_;
  IbTransaction transaction_;
  TDatabaseManager manager_;
  std::vector<int> pauses_;
};

TEST_F(DatabaseManagerTest, ConnectOpensWithStoredParameters) {
  manager_.Connect();
  EXPECT_TRUE(database_.connected());
  EXPECT_EQ(database_.params(), (QStringList{QStringLiteral("user_name=KELVARO"), QStringLiteral("password=83527146"),
                                             QStringLiteral("lc_ctype=ISO8859_1")}));
  try {
    manager_.Connect();
    FAIL() << "connected twice";
  } catch (const Error& error) {
    EXPECT_EQ(error.message(), QStringLiteral("Already connected!"));
  }
  TDatabaseManager unbound;
  try {
    unbound.Connect();
    FAIL() << "connected without a database";
  } catch (const Error& error) {
    EXPECT_EQ(error.message(), QStringLiteral("Nil Database"));
  }
}

TEST_F(DatabaseManagerTest, ReadsIdentityAndVersionRows) {
  struct Case {
    const char* what;
    std::function<void()> change;
    QString identifier;
    int version;
    QString error;  // empty: no error
  };
  const Case cases[] = {
      {"as created", [] {}, QStringLiteral("WK_Torvida"), 2, {}},
      {"no row 2", [&] { company_->deleteControlRow(2); }, QString(), 2, {}},
      {"no row 3 either", [&] { company_->deleteControlRow(3); }, QString(), 0, {}},
      {"version not a number",
       [&] { company_->exec({QStringLiteral("INSERT INTO ConnectionControl (id, sval) VALUES (3, 'deux')")}); },
       {}, 0, QStringLiteral("'deux' n'est pas une valeur entière correcte")},
  };
  for (const Case& c : cases) {
    c.change();
    manager_.Connect();
    QString dbi = QStringLiteral("x");
    int dbv = -1;
    try {
      manager_.GetDBVersion(&dbi, &dbv);
      EXPECT_TRUE(c.error.isEmpty()) << c.what << ": no error raised";
      EXPECT_EQ(dbi, c.identifier) << c.what;
      EXPECT_EQ(dbv, c.version) << c.what;
    } catch (const DatabaseError& error) {
      ADD_FAILURE() << c.what << ": a conversion error must not turn into a database error";
    } catch (const Error& error) {
      EXPECT_EQ(error.message(), c.error) << c.what;
    }
    ExpectIdle();
    database_.close();
  }
}

TEST_F(DatabaseManagerTest, PresenceNamesAreCutQuotedAndMapped) {
  manager_.Connect();
  const QString longName = QStringLiteral("utilisateur-au-nom-très-long (POSTE-AVEC-UN-NOM-LONG) - Updater-X");
  ASSERT_GT(longName.size(), 60);
  const struct {
    QString name;
    QString stored;
  } cases[] = {
      {longName, longName.left(60)},
      {QStringLiteral("o'neil (PC'12) - Updater"), QStringLiteral("o'neil (PC'12) - Updater")},
      {QStringLiteral("Zoé (PC) - Updater"), QStringLiteral("Zoé (PC) - Updater")},
      // Characters without a Windows-1252 byte: the label keeps a "?".
      {QStringLiteral("Łukasz (PC) - Updater"), QStringLiteral("?ukasz (PC) - Updater")},
      {QStringLiteral("Пётр (ПК 7) - Updater"), QStringLiteral("???? (?? 7) - Updater")},
  };
  for (const auto& [name, stored] : cases) {
    manager_.RegisterUser(name);
    EXPECT_EQ(PresenceRows(stored), 1) << name.toStdString();
    manager_.RegisterUser(name);  // refreshes, never a second row
    EXPECT_EQ(PresenceRows(stored), 1) << name.toStdString();
    manager_.UnRegisterUser(name);
    EXPECT_EQ(PresenceRows(stored), 0) << name.toStdString();
  }
  EXPECT_TRUE(pauses_.empty()) << "the normal path must not pause";
}

TEST_F(DatabaseManagerTest, SecondRegistrationRefreshesLastCheck) {
  manager_.Connect();
  const QString name = QStringLiteral("anne (PC12) - Updater");
  manager_.RegisterUser(name);
  const QString select = QStringLiteral("SELECT lastcheck FROM Users WHERE username = 'anne (PC12) - Updater'");
  const QDateTime first = company_->rows(select)[0][0].toDateTime();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  manager_.RegisterUser(name);
  const auto rows = company_->rows(select);
  ASSERT_EQ(rows.size(), 1);
  EXPECT_GT(rows[0][0].toDateTime(), first);
}

TEST_F(DatabaseManagerTest, StaleRowsArePurgedByServerClock) {
  company_->exec({
      QStringLiteral("INSERT INTO Users VALUES ('stale', DATEADD(-44 MINUTE TO CURRENT_TIMESTAMP))"),
      QStringLiteral("INSERT INTO Users VALUES ('ancient', DATEADD(-30 DAY TO CURRENT_TIMESTAMP))"),
      QStringLiteral("INSERT INTO Users VALUES ('recent', DATEADD(-42 MINUTE TO CURRENT_TIMESTAMP))"),
  });
  manager_.Connect();
  manager_.RegisterUser(QStringLiteral("me"));
  const auto rows = company_->rows(QStringLiteral("SELECT username FROM Users ORDER BY username"));
  QStringList names;
  for (const auto& row : rows) names << row[0].toString();
  EXPECT_EQ(names, (QStringList{QStringLiteral("me"), QStringLiteral("recent")}));
  EXPECT_EQ(company_->rows(QStringLiteral("SELECT COUNT(*) FROM Users WHERE lastcheck < "
                                          "DATEADD(-2592 SECOND TO CURRENT_TIMESTAMP)"))[0][0].toLongLong(),
            0);
}

TEST_F(DatabaseManagerTest, RegistrationOnClosedConnectionGivesUpQuietly) {
  manager_.RegisterUser(QStringLiteral("anne (PC12) - Updater"));
  ASSERT_EQ(pauses_.size(), 4u);
  for (int ms : pauses_) {
    EXPECT_GE(ms, 0);
    EXPECT_LE(ms, 1999);
  }
  pauses_.clear();
  manager_.UnRegisterUser(QStringLiteral("anne (PC12) - Updater"));
  EXPECT_EQ(pauses_.size(), 4u);
}

TEST_F(DatabaseManagerTest, PresenceNeverTouchesMainTransaction) {
  manager_.Connect();
  IbQuery insert;
  insert.setDatabase(&database_);
  insert.setTransaction(&transaction_);
  manager_.StartTrans();
  insert.setSql(QStringLiteral("INSERT INTO PRT_Params (pname) VALUES ('pending')"));
  insert.execQuery();
  manager_.RegisterUser(QStringLiteral("me"));
  EXPECT_TRUE(transaction_.active());
  try {
    manager_.RollbackTrans(DatabaseError(QStringLiteral("boom"), -104));
  } catch (const DatabaseError& error) {
    EXPECT_EQ(error.sqlCode(), -104);
    EXPECT_EQ(error.message(), QStringLiteral("boom"));
  }
  ExpectIdle();
  EXPECT_EQ(company_->rows(QStringLiteral("SELECT COUNT(*) FROM PRT_Params"))[0][0].toLongLong(), 0);
  EXPECT_EQ(PresenceRows(QStringLiteral("me")), 1);
}

TEST_F(DatabaseManagerTest, BracketsNestAndReduceErrorKinds) {
  manager_.Connect();
  manager_.StartTrans();
  manager_.StartTrans();
  EXPECT_EQ(transaction_.tag, 2);
  EXPECT_EQ(manager_.ActiveTransactionCount(), 1);
  manager_.CommitTrans();
  EXPECT_TRUE(transaction_.active());
  try {
    manager_.RollbackTrans(SilentAbort());
    FAIL() << "nothing raised";
  } catch (const SilentAbort&) {
    FAIL() << "the manager turns an abort into an ordinary error";
  } catch (const DatabaseError&) {
    FAIL() << "not a database error";
  } catch (const Error& error) {
    EXPECT_EQ(error.message(), SilentAbort().message());
  }
  ExpectIdle();

  TDatabaseManager unbound;
  try {
    unbound.StartTrans();
    FAIL() << "started without a transaction";
  } catch (const Error& error) {
    EXPECT_EQ(error.message(), QStringLiteral("DatabaseManager no transaction"));
  }
}

TEST_F(DatabaseManagerTest, DatasetRegistry) {
  manager_.Connect();
  auto* dataset = new IbQuery;
  dataset->setObjectName(QStringLiteral("QueryFindPK"));
  dataset->setDatabase(&database_);
  dataset->setTransaction(&transaction_);
  manager_.RegisterDataset(dataset);

  manager_.StartTrans();
  dataset->setSql(QStringLiteral("SELECT id FROM ConnectionControl"));
  dataset->open();
  manager_.CloseAllConnections();  // closes it and rolls back its transaction
  EXPECT_FALSE(dataset->active());
  EXPECT_FALSE(transaction_.active());
  EXPECT_EQ(manager_.Datasets().size(), 1);

  IbQuery stranger;
  try {
    manager_.FreeDataset(&stranger);
    FAIL() << "freed an unregistered dataset";
  } catch (const Error& error) {
    EXPECT_EQ(error.message(), QStringLiteral("FreeDataset : not found"));
  }
  manager_.FreeDataset(nullptr);
  manager_.FreeDataset(dataset);
  EXPECT_TRUE(manager_.Datasets().isEmpty());

  // A dataset still registered when the manager goes is reported.
  {
    IbQuery leftover;
    leftover.setObjectName(QStringLiteral("Leftover"));
    {
      TDatabaseManager shortLived;
      shortLived.RegisterDataset(&leftover);
    }
    ASSERT_EQ(scripted_.user.shown.size(), 1u);
    EXPECT_EQ(scripted_.user.shown[0].kind, MessageKind::Error);
    // The dataset's name is the box's caption.
    EXPECT_EQ(scripted_.user.shown[0].text, QStringLiteral("DataSet NOT RELEASED !\r\n"));
    EXPECT_EQ(scripted_.user.shown[0].caption, QStringLiteral("Leftover"));
  }
  // A destroyed dataset leaves the registry by itself.
  auto* gone = new IbQuery;
  manager_.RegisterDataset(gone);
  delete gone;
  EXPECT_TRUE(manager_.Datasets().isEmpty());
}

}  // namespace

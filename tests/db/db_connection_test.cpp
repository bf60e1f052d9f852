// The connection module on a real server: the chain of checks, the refusal
// messages, the free-space thresholds, presence, brackets and timers.
#include <ibase.h>

#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <cstdlib>
#include <gtest/gtest.h>

#include "company_database.h"
#include "db/concurrent_conflict.h"
#include "db/db_connection.h"
#include "db/fb_library.h"
#include "db/ib_components.h"
#include "db/table_reservation.h"
#include "fixtures/temp_prefix.h"
#include "support/errors.h"
#include "support/scripted_user.h"

using namespace kelvaro;
using namespace kelvaro::db;

namespace {

const QString kIncompatible = QStringLiteral("La base de données n'est pas compatible avec le programme!\r\n\r\n");
const QString kLow = QStringLiteral(
    "L'espace disque pour la base de données est faible!\r\nVeuillez faire de la place sur le disque.\r\n");
const QString kCritical = QStringLiteral("Il n'y a plus assez de place sur le disque de la base de données!\r\n");
const QString kUnknownSpace = QStringLiteral(
    "Le serveur Firebird n'a pas pu déterminer la place restante sur le disque de la base de données!");

class ConnectionModuleTest : public testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_FIREBIRD_SERVER();
    unsetenv("SSH_CONNECTION");  // a console session, not a remote one
    company_ = std::make_unique<dbtest::CompanyDatabase>();
    prefix_.addDrive('D', company_->folder().path());
    module_ = std::make_unique<TdmDBConnection>();
    module_->DatabaseManager->setPauseFunction([this](int ms) { pauses_.push_back(ms); });
    module_->Init(2, QStringLiteral("WK_Torvida"), QStringLiteral("Torvida"), QStringLiteral("Updater"));
    module_->SetParams(kRemote, QString(), QString(), QString());
  }

  void TearDown() override {
    module_.reset();
  }

  qint64 Count(const QString& select) const { return company_->rows(select)[0][0].toLongLong(); }
  qint64 PresenceRows() const {
    return Count(QStringLiteral("SELECT COUNT(*) FROM Users WHERE username = '%1'").arg(module_->GetUserStr()));
  }
  // No bracket open and no transaction left running.
  void ExpectNoTransaction() const {
    EXPECT_EQ(module_->GlobalTransaction->tag, 0);
    EXPECT_FALSE(module_->GlobalTransaction->active());
  }
  QString ConnectError() {
    try {
      module_->ConnectAsKelvaro();
    } catch (const Error& error) {
      return error.message();
    }
    return QStringLiteral("<no error>");
  }
  std::vector<ScriptedUser::Shown>& Shown() { return scripted_.user.shown; }

  const QString kRemote = QStringLiteral("127.0.0.1:D:\\company.fdb");
  fixtures::TempPrefix prefix_;
  ScopedScriptedUser scripted_;
  std::unique_ptr<dbtest::CompanyDatabase> company_;
  std::unique_ptr<TdmDBConnection> module_;
  std::vector<int> pauses_;
};

TEST_F(ConnectionModuleTest, ConnectsRegistersAndDisconnects) {
  module_->ConnectAsKelvaro();
  EXPECT_TRUE(module_->Connected());
  EXPECT_EQ(module_->ServerType(), Firebird30);
  EXPECT_TRUE(Shown().empty());
  EXPECT_TRUE(pauses_.empty()) << "the normal path must not pause";
  EXPECT_EQ(module_->DatabaseManager->UserName, QStringLiteral("KELVARO"));
  EXPECT_EQ(module_->GetUserStr(), QStringLiteral("%1 (POSTE-TEST) - Updater").arg(module_->GetUserStr().section(' ', 0, 0)));
  EXPECT_EQ(PresenceRows(), 1);
  ExpectNoTransaction();
  module_->Disconnect();
  EXPECT_FALSE(module_->Connected());
  EXPECT_EQ(PresenceRows(), 0);
}

// "D:\..." opens the file embedded (the server does not hold it), the
// others go through the server; every form reaches the same file.
TEST_F(ConnectionModuleTest, LocalAndLoopbackFormsReachTheFile) {
  for (const QString& text : {QStringLiteral("D:\\company.fdb"), QStringLiteral("d:\\COMPANY.FDB"),
                              QStringLiteral("localhost:D:\\company.fdb"), QStringLiteral("127.0.0.1/3050:D:\\company.fdb")}) {
    module_->SetParams(text, QString(), QString(), QString());
    module_->ConnectAsKelvaro();
    EXPECT_TRUE(module_->Connected()) << text.toStdString();
    EXPECT_EQ(module_->ServerType(), Firebird30) << text.toStdString();
    EXPECT_EQ(module_->DatabaseManager->ConnectionString, text) << "the Windows string stays as given";
    module_->Disconnect();
    EXPECT_EQ(PresenceRows(), 0) << text.toStdString();
  }
  EXPECT_TRUE(Shown().empty());
}

TEST_F(ConnectionModuleTest, IdentityAndVersionRefusals) {
  struct Case {
    const char* what;
    std::function<void()> change;
    QString message;
  };
  const Case cases[] = {
      {"other identifier", [&] { company_->setControlRow(2, QStringLiteral("WK_Nimbaro")); },
       kIncompatible + QStringLiteral("Database : WK_Nimbaro\r\nVersion : 2")},
      {"identifier in other case", [&] { company_->setControlRow(2, QStringLiteral("wk_torvida")); },
       kIncompatible + QStringLiteral("Database : wk_torvida\r\nVersion : 2")},
      {"other version", [&] {
         company_->setControlRow(2, QStringLiteral("WK_Torvida"));
         company_->setControlRow(3, QStringLiteral("3"));
       },
       kIncompatible + QStringLiteral("Database : WK_Torvida\r\nVersion : 3")},
      {"no row 2", [&] {
         company_->setControlRow(3, QStringLiteral("2"));
         company_->deleteControlRow(2);
       },
       kIncompatible + QStringLiteral("Database : \r\nVersion : 2")},
      {"no rows 2 and 3", [&] { company_->deleteControlRow(3); },
       kIncompatible + QStringLiteral("Database : \r\nVersion : 0")},
  };
  for (const Case& c : cases) {
    c.change();
    EXPECT_EQ(ConnectError(), c.message) << c.what;
    EXPECT_FALSE(module_->Connected()) << c.what;
    EXPECT_EQ(PresenceRows(), 0) << c.what;
    ExpectNoTransaction();
  }
  EXPECT_TRUE(Shown().empty());
}

struct SpaceCase {
  qint64 free;
  std::vector<std::pair<MessageKind, QString>> messages;
  bool connected;
};

TEST_F(ConnectionModuleTest, FreeSpaceThresholds) {
  const SpaceCase cases[] = {
      {150000000, {}, true},
      {10000000000, {}, true},
      {149999999, {{MessageKind::Warning, kLow + "149 Mb"}, {MessageKind::Warning, kLow + "149 Mb"}}, true},
      {50000000, {{MessageKind::Warning, kLow + "50 Mb"}, {MessageKind::Warning, kLow + "50 Mb"}}, true},
      {49999999, {{MessageKind::Error, kCritical + "49 Mb"}}, false},
      {1, {{MessageKind::Error, kCritical + "0 Mb"}}, false},
  };
  for (const SpaceCase& c : cases) {
    company_->setFreeSpace(c.free);
    Shown().clear();
    module_->ConnectAsKelvaro();  // never raises for disk space
    ASSERT_EQ(Shown().size(), c.messages.size()) << c.free;
    for (size_t i = 0; i < c.messages.size(); ++i) {
      EXPECT_EQ(Shown()[i].kind, c.messages[i].first) << c.free;
      EXPECT_EQ(Shown()[i].text, c.messages[i].second) << c.free;
    }
    EXPECT_EQ(module_->Connected(), c.connected) << c.free;
    // A critical result closes the connection before registering.
    EXPECT_EQ(PresenceRows(), c.connected ? 1 : 0) << c.free;
    ExpectNoTransaction();
    module_->Disconnect();
  }
  EXPECT_FALSE(module_->DoNotCheckFreeSpace());
}

TEST_F(ConnectionModuleTest, ServerThatCannotTellIsSkippedForModuleLife) {
  company_->setFreeSpace(0);
  module_->ConnectAsKelvaro();
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].kind, MessageKind::Warning);
  EXPECT_EQ(Shown()[0].text, kUnknownSpace);
  EXPECT_TRUE(module_->Connected());
  EXPECT_TRUE(module_->DoNotCheckFreeSpace());

  // Later connections, also to another database, no longer check at all.
  dbtest::CompanyDatabase other;
  other.setFreeSpace(1);
  prefix_.addDrive('E', other.folder().path());
  module_->SetParams(QStringLiteral("127.0.0.1:E:\\company.fdb"), QString(), QString(), QString());
  module_->ConnectAsKelvaro();
  module_->TimerCheckDiskSpaceTimer();
  EXPECT_EQ(Shown().size(), 1u);
  EXPECT_TRUE(module_->Connected());
  module_->Disconnect();
}

TEST_F(ConnectionModuleTest, NegativeFreeSpaceCountsAsUnknown) {
  company_->setFreeSpace(-5);
  module_->ConnectAsKelvaro();
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].text, kUnknownSpace);
}

TEST_F(ConnectionModuleTest, NestedBracketsCommitOnce) {
  module_->ConnectAsKelvaro();
  IbQuery* sql = module_->IBSQL;
  module_->DoStartTransaction();
  module_->DoStartTransaction();
  sql->setSql(QStringLiteral("INSERT INTO PRT_Params (pname) VALUES ('inner')"));
  sql->execQuery();
  module_->DoCommit();  // inner: nothing committed yet
  EXPECT_TRUE(module_->GlobalTransaction->active());
  EXPECT_EQ(Count(QStringLiteral("SELECT COUNT(*) FROM PRT_Params")), 0);
  module_->DoCommit();
  EXPECT_FALSE(module_->GlobalTransaction->active());
  EXPECT_EQ(Count(QStringLiteral("SELECT COUNT(*) FROM PRT_Params")), 1);
}

TEST_F(ConnectionModuleTest, RollbackThroughTwoLevels) {
  module_->ConnectAsKelvaro();
  int raised = 0;
  module_->DoStartTransaction();
  try {
    module_->DoStartTransaction();
    try {
      module_->IBSQL->setSql(QStringLiteral("INSERT INTO PRT_Params (pname) VALUES ('lost')"));
      module_->IBSQL->execQuery();
      module_->IBSQL->setSql(QStringLiteral("INSERT INTO PRT_Params (pname) VALUES ('lost')"));
      module_->IBSQL->execQuery();  // duplicate key
      module_->DoCommit();
    } catch (const std::exception& error) {
      ++raised;
      EXPECT_TRUE(module_->GlobalTransaction->active()) << "an inner rollback rolls nothing back";
      module_->DoRollback(error);
    }
  } catch (const DatabaseError& error) {
    ++raised;
    EXPECT_EQ(error.sqlCode(), -803);
    try {
      module_->DoRollback(error);
    } catch (const DatabaseError& again) {
      ++raised;
      EXPECT_EQ(again.sqlCode(), -803);
      EXPECT_EQ(again.message(), error.message());
    }
  }
  EXPECT_EQ(raised, 3);
  ExpectNoTransaction();
  EXPECT_EQ(Count(QStringLiteral("SELECT COUNT(*) FROM PRT_Params")), 0);
}

TEST_F(ConnectionModuleTest, CommitWithoutBracketAndRollbackKinds) {
  try {
    module_->DoCommit();
    FAIL() << "no assertion";
  } catch (const Error& error) {
    EXPECT_EQ(error.message(), QStringLiteral("TRANSACTION MANAGEMENT ERROR"));
  }
  EXPECT_EQ(module_->GlobalTransaction->tag, -1);
  module_->Disconnect();
  EXPECT_EQ(module_->GlobalTransaction->tag, 0);

  // The error kind a rollback re-raises.
  module_->GlobalTransaction->tag = 5;
  EXPECT_THROW(module_->DoRollback(SilentAbort()), SilentAbort);
  try {
    module_->DoRollback(std::runtime_error("conversion"));
  } catch (const DatabaseError&) {
    ADD_FAILURE() << "an ordinary error stays ordinary";
  } catch (const SilentAbort&) {
    ADD_FAILURE() << "an ordinary error stays ordinary";
  } catch (const Error& error) {
    EXPECT_EQ(error.message(), QStringLiteral("conversion"));
  }
  try {
    module_->DoRollback(DatabaseError(QStringLiteral("lock conflict"), -913));
  } catch (const DatabaseError& error) {
    EXPECT_EQ(error.sqlCode(), -913);
    EXPECT_EQ(error.message(), QStringLiteral("lock conflict"));
  }
  EXPECT_EQ(module_->GlobalTransaction->tag, 2);
}

// Work that another connection keeps getting ahead of: it changes the same
// row and commits while the work's transaction runs, a real update conflict
// each time it does.
TEST_F(ConnectionModuleTest, ConflictsAreRetriedInANewBracketABoundedNumberOfTimes) {
  module_->ConnectAsKelvaro();
  company_->exec({QStringLiteral("INSERT INTO PRT_Params (pname, print_params) VALUES ('shared', 'first')")});
  const struct {
    const char* what;
    int interferences;   // attempts the other connection gets ahead of
    bool callerBracket;  // the caller holds a bracket open around the work
    const char* statement;
    int attempts;
    bool raised;
  } cases[] = {
      {"two conflicts, then done", 2, false, "UPDATE PRT_Params SET print_params = 'mine' WHERE pname = 'shared'", 3,
       false},
      {"conflicts to the bound", 1000, false, "UPDATE PRT_Params SET print_params = 'mine' WHERE pname = 'shared'",
       kConflictAttempts, true},
      {"not a conflict", 0, false, "UPDATE PRT_Params SET print_params = CAST(1/0 AS VARCHAR(9))", 1, true},
      {"conflict in the caller's bracket", 1000, true,
       "UPDATE PRT_Params SET print_params = 'mine' WHERE pname = 'shared'", 1, true},
  };
  for (const auto& c : cases) {
    pauses_.clear();
    int attempts = 0;
    const auto work = [&] {
      if (attempts++ < c.interferences)
        company_->exec({QStringLiteral("UPDATE PRT_Params SET print_params = 'other' WHERE pname = 'shared'")});
      module_->IBSQL->setSql(QString::fromUtf8(c.statement));
      module_->IBSQL->execQuery();
    };
    bool raised = false;
    if (c.callerBracket) module_->DoStartTransaction();
    try {
      RunRetryingConflicts(*module_, work, [this](int ms) { pauses_.push_back(ms); });
    } catch (const DatabaseError& error) {
      raised = true;
      EXPECT_EQ(IsConcurrentConflict(error), c.interferences > 0) << c.what << ": " << error.what();
    }
    if (c.callerBracket) {
      try {
        module_->DoRollback(Error(QStringLiteral("caller gives up")));
      } catch (const Error&) {
      }
    }
    EXPECT_EQ(attempts, c.attempts) << c.what;
    EXPECT_EQ(raised, c.raised) << c.what;
    ASSERT_EQ(int(pauses_.size()), c.attempts - 1) << c.what;
    for (size_t i = 0; i < pauses_.size(); ++i)
      EXPECT_LE(pauses_[i], int(i + 1) * kConflictBackOffStepMs) << c.what << ", pause " << i;
    ExpectNoTransaction();
    const QString stored = company_->rows(QStringLiteral("SELECT print_params FROM PRT_Params WHERE pname = 'shared'"))[0][0].toString();
    EXPECT_EQ(stored, c.raised ? (c.interferences ? QStringLiteral("other") : QStringLiteral("first"))
                               : QStringLiteral("mine"))
        << c.what;
    company_->exec({QStringLiteral("UPDATE PRT_Params SET print_params = 'first' WHERE pname = 'shared'")});
  }
}

// Another program's connection to the company database, with one
// transaction that does not wait for locks.
class OtherConnection {
 public:
  explicit OtherConnection(const dbtest::CompanyDatabase& company)
      : database_(dbtest::AttachAsKelvaro(company.helperConnection())) {
    transaction_.setDefaultDatabase(database_.get());
    const char noWait[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_concurrency, isc_tpb_nowait};
    transaction_.setParams(QByteArray(noWait, sizeof noWait));
    transaction_.start();
    query_.setDatabase(database_.get());
    query_.setTransaction(&transaction_);
  }
  ~OtherConnection() {
    if (transaction_.active()) transaction_.rollback();
  }

  // False when the statement met a lock (a conflict); other errors throw.
  bool exec(const QString& statement) {
    query_.setSql(statement);
    try {
      query_.execQuery();
    } catch (const DatabaseError& error) {
      if (IsConcurrentConflict(error)) return false;
      throw;
    }
    return true;
  }
  void commit() { transaction_.commit(); }

 private:
  std::unique_ptr<IbDatabase> database_;
  IbTransaction transaction_;
  IbQuery query_;
};

// Whether another connection may write the table at once, committed.
bool OtherConnectionCanWrite(const dbtest::CompanyDatabase& company, const QString& statement) {
  OtherConnection other(company);
  if (!other.exec(statement)) return false;
  other.commit();
  return true;
}

const QString kOtherRow = QStringLiteral("INSERT INTO PRT_Params (pname, print_params) VALUES ('%1', 'other')");

// Workstations storing lists take turns at the table: while one bracket
// holds its reservation, another writer waits, even on another row; the
// bracket's transaction kind is its own, the connection's stays as it was.
TEST_F(ConnectionModuleTest, AReservingBracketHoldsOtherWritersOffTheTable) {
  module_->ConnectAsKelvaro();
  const QByteArray reservation = ReservingTableForWrite(QStringLiteral("PRT_Params"), 1);
  for (const bool reserving : {false, true}) {
    bool otherWrote = false;
    RunRetryingConflicts(*module_, [&] {
      module_->IBSQL->setSql(QStringLiteral("INSERT INTO PRT_Params (pname, print_params) VALUES ('mine%1', 'x')").arg(reserving));
      module_->IBSQL->execQuery();
      otherWrote = OtherConnectionCanWrite(*company_, kOtherRow.arg(QStringLiteral("other%1").arg(reserving)));
    }, {}, reserving ? reservation : QByteArray());
    EXPECT_EQ(otherWrote, !reserving) << "reserving " << reserving;
    EXPECT_TRUE(module_->GlobalTransaction->params().isEmpty());
    ExpectNoTransaction();
  }
  EXPECT_TRUE(OtherConnectionCanWrite(*company_, kOtherRow.arg(QStringLiteral("after"))));
  EXPECT_EQ(Count(QStringLiteral("SELECT COUNT(*) FROM PRT_Params WHERE pname STARTING WITH 'mine'")), 2);
}

// A program that wrote to the table and keeps its transaction open holds
// the table longer than a turn: the bracket waits for it no longer than the
// reservation's wait, then does its work without the reservation, once.
TEST_F(ConnectionModuleTest, ATableHeldByAnotherProgramIsNotWaitedForPastTheTurn) {
  module_->ConnectAsKelvaro();
  OtherConnection other(*company_);
  ASSERT_TRUE(other.exec(kOtherRow.arg(QStringLiteral("held"))));
  int attempts = 0;
  RunRetryingConflicts(*module_, [&] {
    ++attempts;
    module_->IBSQL->setSql(QStringLiteral("INSERT INTO PRT_Params (pname, print_params) VALUES ('mine', 'x')"));
    module_->IBSQL->execQuery();
  }, [this](int ms) { pauses_.push_back(ms); }, ReservingTableForWrite(QStringLiteral("PRT_Params"), 1));
  EXPECT_EQ(attempts, 1);
  EXPECT_TRUE(pauses_.empty());
  EXPECT_TRUE(module_->GlobalTransaction->params().isEmpty());
  ExpectNoTransaction();
  other.commit();
  EXPECT_EQ(Count(QStringLiteral("SELECT COUNT(*) FROM PRT_Params WHERE pname IN ('mine', 'held')")), 2);
}

TEST_F(ConnectionModuleTest, ManagerBracketInsideModuleBracket) {
  module_->ConnectAsKelvaro();
  module_->DoStartTransaction();
  module_->DatabaseManager->StartTrans();
  EXPECT_EQ(module_->DatabaseManager->ActiveTransactionCount(), 0) << "the manager started nothing";
  module_->DatabaseManager->CommitTrans();
  EXPECT_TRUE(module_->GlobalTransaction->active());
  module_->DoCommit();
  ExpectNoTransaction();
}

// Whatever goes wrong, the connection ends as stated and no transaction is
// left running.
TEST_F(ConnectionModuleTest, BadInputIsRefusedCleanly) {
  const QString notADatabase = QString::fromStdString(company_->folder().path()) + QStringLiteral("/notes.fdb");
  {
    QFile file(notADatabase);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(8192, 'x'));
  }
  const QString unixForm = QStringLiteral("127.0.0.1:") + company_->file();
  struct Case {
    QString connection;
    QString fragment;  // part of the message, or the whole one when exact
    bool exact;
  };
  const Case cases[] = {
      {QString(), QStringLiteral("Le nom de la base de données manque.\r\nVeuillez compléter la configuration du programme."), true},
      {QStringLiteral("127.0.0.1/3099:D:\\company.fdb"), QStringLiteral("Unable to complete network request"), false},
      {QStringLiteral("127.0.0.1:D:\\notes.fdb"), QStringLiteral("not a valid database"), false},
      {QStringLiteral("127.0.0.1:D:\\absent.fdb"), QStringLiteral("absent.fdb"), false},
      // A server path of the UNIX kind opens, but its server cannot be asked.
      {unixForm, PairingRefusedMessage(ClientLibraryVersion(), QStringLiteral("?")), true},
      {QStringLiteral("srv@D:\\company.fdb"), QString(), false},
      {QStringLiteral("\\\\srv\\D:\\company.fdb"), QString(), false},
      {QStringLiteral("company"), QString(), false},
  };
  for (const Case& c : cases) {
    module_->SetParams(c.connection, QString(), QString(), QString());
    const QString message = ConnectError();
    EXPECT_NE(message, QStringLiteral("<no error>")) << c.connection.toStdString();
    if (c.exact) EXPECT_EQ(message, c.fragment) << c.connection.toStdString();
    else EXPECT_TRUE(message.contains(c.fragment)) << c.connection.toStdString() << ": " << message.toStdString();
    EXPECT_FALSE(module_->Connected()) << c.connection.toStdString();
    ExpectNoTransaction();
  }
  EXPECT_TRUE(Shown().empty());
}

TEST_F(ConnectionModuleTest, WrongPasswordIsRefused) {
  module_->SetParams(kRemote, QStringLiteral("KELVARO"), QString(), QStringLiteral("00000000"));
  try {
    module_->Connect();
    FAIL() << "connected with a wrong password";
  } catch (const DatabaseError& error) {
    EXPECT_TRUE(error.message().contains(QStringLiteral("Your user name and password are not defined")));
  }
  EXPECT_FALSE(module_->Connected());
}

TEST_F(ConnectionModuleTest, VersionThatIsNotANumber) {
  company_->setControlRow(3, QStringLiteral("2b"));
  EXPECT_EQ(ConnectError(), QStringLiteral("'2b' n'est pas une valeur entière correcte"));
  ExpectNoTransaction();
  module_->Disconnect();
}

TEST_F(ConnectionModuleTest, MissingFreeSpaceFunctionFailsWithDatabaseText) {
  company_->exec({QStringLiteral("DROP FUNCTION GetFreeDiskSpace")});
  try {
    module_->ConnectAsKelvaro();
    FAIL() << "connected without the free-space function";
  } catch (const DatabaseError& error) {
    EXPECT_TRUE(error.message().contains(QStringLiteral("GETFREEDISKSPACE"))) << error.what();
  }
  EXPECT_TRUE(module_->Connected()) << "the connection stays open";
  ExpectNoTransaction();
  module_->Disconnect();
  EXPECT_FALSE(module_->Connected());
}

TEST_F(ConnectionModuleTest, DriveLetterOfTheConnectionString) {
  module_->ConnectAsKelvaro();
  // Each drive answers its own free space, so the letter asked for shows.
  company_->setFreeSpace(123456789);
  company_->setFreeSpace(QLatin1Char('C'), 3000000000);
  company_->setFreeSpace(QLatin1Char('D'), 4000000000);
  const struct {
    const char* connection;
    qint64 free;
  } letters[] = {
      {"C:\\x.fdb", 3000000000},
      {"D:\\Base\\x.fdb", 4000000000},
      {"srv:C:\\x.fdb", 3000000000},
      {"srv:D:\\x.fdb", 4000000000},
      {"192.168.1.5:D:\\x.fdb", 4000000000},
  };
  for (const auto& c : letters) {
    module_->DatabaseManager->ConnectionString = QString::fromLatin1(c.connection);
    EXPECT_EQ(module_->GetFreeDiskSpace(), c.free) << c.connection;
  }
  for (const QString& text : {QStringLiteral("nocolon"), QStringLiteral("srv:")}) {
    module_->DatabaseManager->ConnectionString = text;
    try {
      module_->GetFreeDiskSpace();
      ADD_FAILURE() << text.toStdString();
    } catch (const Error& error) {
      EXPECT_EQ(error.message(), QStringLiteral("0312181326"));
    }
    ExpectNoTransaction();
  }
}

TEST_F(ConnectionModuleTest, DisconnectWhenNotConnected) {
  company_->exec({QStringLiteral("INSERT INTO Users VALUES ('%1', CURRENT_TIMESTAMP)").arg(module_->GetUserStr())});
  module_->GlobalTransaction->tag = 3;
  module_->Disconnect();
  EXPECT_EQ(module_->GlobalTransaction->tag, 0);
  EXPECT_EQ(PresenceRows(), 1) << "the presence table is not touched";
  EXPECT_TRUE(pauses_.empty());
}

TEST_F(ConnectionModuleTest, TimersRefreshPresenceAndCheckSpace) {
  EXPECT_TRUE(module_->TimerUsers->isActive());
  EXPECT_EQ(module_->TimerUsers->interval(), 1800000);
  EXPECT_TRUE(module_->TimerCheckDiskSpace->isActive());
  EXPECT_EQ(module_->TimerCheckDiskSpace->interval(), 3600000);

  module_->ConnectAsKelvaro();
  company_->exec({QStringLiteral("DELETE FROM Users")});
  company_->setFreeSpace(100000000);
  module_->TimerUsers->setInterval(20);
  module_->TimerCheckDiskSpace->setInterval(30);
  QEventLoop loop;
  QTimer::singleShot(120, &loop, &QEventLoop::quit);
  loop.exec();
  module_->TimerUsers->stop();
  module_->TimerCheckDiskSpace->stop();
  EXPECT_EQ(PresenceRows(), 1);
  ASSERT_FALSE(Shown().empty());
  EXPECT_EQ(Shown()[0].text, kLow + "100 Mb");
}

TEST_F(ConnectionModuleTest, PresenceNameInRemoteSession) {
  setenv("SSH_CONNECTION", "10.0.0.1 5000 10.0.0.2 22", 1);
  const QString name = module_->GetUserStr();
  unsetenv("SSH_CONNECTION");
  EXPECT_TRUE(name.endsWith(QStringLiteral(") - Updater"))) << name.toStdString();
  EXPECT_FALSE(name.contains(QStringLiteral("POSTE-TEST"))) << "the session id stands for the computer";
}

}  // namespace

namespace {

// A local path with no server running (or a server that does not hold the
// file) opens the file with the embedded engine; the local services manager
// is embedded too. Runs with or without the server.
TEST(EmbeddedEngineTest, LocalPathConnectsWithEveryCheck) {
  fixtures::TempPrefix prefix;
  ScopedScriptedUser scripted;
  dbtest::CompanyDatabase company;
  prefix.addDrive('D', company.folder().path());
  company.setFreeSpace(120000000);
  {
    TdmDBConnection module;
    module.DatabaseManager->setPauseFunction([](int) { ADD_FAILURE() << "paused"; });
    module.Init(2, QStringLiteral("WK_Torvida"), QString(), QStringLiteral("Updater"));
    module.SetParams(QStringLiteral("D:\\company.fdb"), QString(), QString(), QString());
    module.ConnectAsKelvaro();
    EXPECT_TRUE(module.Connected());
    EXPECT_EQ(module.ServerType(), Firebird30);
    ASSERT_EQ(scripted.user.shown.size(), 2u);
    EXPECT_EQ(scripted.user.shown[1].text, kLow + "120 Mb");
    module.DoStartTransaction();
    module.IBSQL->setSql(QStringLiteral("INSERT INTO PRT_Params (pname, print_params) VALUES (?, ?)"));
    module.IBSQL->setParam(0, QStringLiteral("adresses"));
    module.IBSQL->setParam(1, QStringLiteral("[Liste]\r\nTitre=Adresses été\r\n"));
    module.IBSQL->execQuery();
    module.DoCommit();
    module.Disconnect();
  }
  const auto rows = company.rows(QStringLiteral("SELECT pname, print_params FROM PRT_Params"));
  ASSERT_EQ(rows.size(), 1);
  EXPECT_EQ(rows[0][1].toString(), QStringLiteral("[Liste]\r\nTitre=Adresses été\r\n"));
  EXPECT_EQ(company.rows(QStringLiteral("SELECT COUNT(*) FROM Users"))[0][0].toLongLong(), 0);
}

}  // namespace

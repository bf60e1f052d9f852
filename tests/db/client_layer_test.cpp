// The client layer against the real server: attachment, parameters of every
// kind, text blobs of any length, errors with SQL code and server message,
// the services manager.
#include <QFile>
#include <gtest/gtest.h>

#include "company_database.h"
#include "db/concurrent_conflict.h"
#include "db/fb_library.h"
#include "db/ib_components.h"
#include "support/errors.h"

using namespace kelvaro;
using namespace kelvaro::db;

namespace {

class ClientLayer : public testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_FIREBIRD_SERVER();
    company_ = std::make_unique<dbtest::CompanyDatabase>();
    database_.setDatabaseName(QStringLiteral("127.0.0.1:") + company_->file());
    database_.params() << QStringLiteral("user_name=KELVARO") << QStringLiteral("password=83527146")
                       << QStringLiteral("lc_ctype=ISO8859_1");
    transaction_.setDefaultDatabase(&database_);
    query_.setDatabase(&database_);
    query_.setTransaction(&transaction_);
  }

  std::unique_ptr<dbtest::CompanyDatabase> company_;
  IbDatabase database_;
  IbTransaction transaction_;
  IbQuery query_;
};

TEST_F(ClientLayer, ParametersAndBlobsRoundTrip) {
  database_.open();
  transaction_.start();
  // Accented text in the connection's character set and a text blob far
  // longer than one segment.
  QString definition;
  for (int i = 0; i < 20000; ++i) definition += QStringLiteral("ligne %1 : été à Zürich\r\n").arg(i);
  query_.setSql(QStringLiteral(
      "INSERT INTO PRT_Params (pname, d_text, f_text, i_text, compat, print_params) "
      "VALUES (:pname, :d_text, :f_text, :i_text, :compat, :print_params)"));
  EXPECT_EQ(query_.paramCount(), 6);
  const QVariant values[] = {QStringLiteral("clé"), QStringLiteral("Adreßliste"), QStringLiteral("Liste éàç"),
                             QVariant(), QStringLiteral("V2"), definition};
  for (int i = 0; i < 6; ++i) query_.setParam(i, values[i]);
  query_.execQuery();
  transaction_.commit();

  transaction_.start();
  query_.setSql(QStringLiteral("SELECT pname, d_text, f_text, i_text, compat, print_params FROM PRT_Params WHERE pname = ?"));
  query_.setParam(0, QStringLiteral("clé"));
  query_.open();
  ASSERT_FALSE(query_.eof());
  for (int i = 0; i < 5; ++i) EXPECT_EQ(query_.field(i), values[i]) << i;
  EXPECT_TRUE(query_.field(3).isNull());
  const QString stored = query_.fieldByName(QStringLiteral("print_params")).toString();
  EXPECT_EQ(stored.size(), definition.size());
  EXPECT_EQ(stored, definition);
  query_.next();
  EXPECT_TRUE(query_.eof());
  transaction_.commit();
}

TEST_F(ClientLayer, NumbersAndTimestamps) {
  database_.open();
  transaction_.start();
  query_.setSql(QStringLiteral("UPDATE Test_Settings SET free_space = :p0"));
  query_.setParam(0, qint64(9223372036854775807LL));
  query_.execQuery();
  query_.setSql(QStringLiteral("SELECT GetFreeDiskSpace('C'), CAST(:p0 AS TIMESTAMP), CAST(:p1 AS INTEGER) FROM rdb$database"));
  const QDateTime when(QDate(2024, 2, 29), QTime(23, 59, 58, 123), Qt::UTC);
  query_.setParam(0, when);
  query_.setParam(1, -42);
  query_.open();
  EXPECT_EQ(query_.field(0), QVariant(qint64(9223372036854775807LL)));
  EXPECT_EQ(query_.field(1).toDateTime(), when);
  EXPECT_EQ(query_.field(2).toLongLong(), -42);
  query_.close();
  transaction_.rollback();
}

TEST_F(ClientLayer, ErrorsCarrySqlCodeAndServerMessage) {
  database_.open();
  transaction_.start();
  struct Case {
    const char* sql;
    int sqlCode;
    const char* fragment;
  };
  const Case cases[] = {
      {"SELECT * FROM NoSuchTable", -204, "NOSUCHTABLE"},
      {"INSERT INTO PRT_Params (pname) VALUES (NULL)", -625, "PNAME"},
      {"SELECT 1/0 FROM rdb$database", -802, "divide by zero"},
  };
  for (const Case& c : cases) {
    try {
      query_.setSql(QString::fromUtf8(c.sql));
      query_.execQuery();
      ADD_FAILURE() << c.sql << " succeeded";
    } catch (const DatabaseError& error) {
      EXPECT_EQ(error.sqlCode(), c.sqlCode) << c.sql;
      EXPECT_TRUE(error.message().contains(QString::fromUtf8(c.fragment), Qt::CaseInsensitive))
          << c.sql << ": " << error.what();
    }
    EXPECT_FALSE(query_.active());
  }
  EXPECT_TRUE(transaction_.active());  // a failed statement leaves the transaction to the caller
  transaction_.rollback();
}

// What a second workstation meets when it stores the same row at the same
// moment, told apart from the failures of the statement itself.
TEST_F(ClientLayer, ConcurrentConflictsAreToldApartFromOtherErrors) {
  database_.open();
  IbDatabase other;
  other.setDatabaseName(database_.databaseName());
  other.params() = database_.params();
  other.open();
  IbTransaction otherTransaction;
  otherTransaction.setDefaultDatabase(&other);
  // No waiting for the first connection's uncommitted rows: the conflict is
  // raised at once instead of when the first one ends.
  const char noWait[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_concurrency, isc_tpb_nowait};
  otherTransaction.setParams(QByteArray(noWait, sizeof noWait));
  IbQuery otherQuery;
  otherQuery.setDatabase(&other);
  otherQuery.setTransaction(&otherTransaction);
  const auto run = [](IbQuery& query, const char* sql) {
    query.setSql(QString::fromUtf8(sql));
    query.execQuery();
  };
  const auto failure = [&](const char* sql) -> std::unique_ptr<std::exception> {
    try {
      run(otherQuery, sql);
    } catch (const DatabaseError& error) {
      return std::make_unique<DatabaseError>(error);
    }
    ADD_FAILURE() << sql << " succeeded";
    return std::make_unique<std::exception>();
  };

  otherTransaction.start();  // its snapshot is taken now
  transaction_.start();
  run(query_, "INSERT INTO PRT_Params (pname, print_params) VALUES ('stored', 'x')");
  run(query_, "INSERT INTO PRT_Params (pname, print_params) VALUES ('pending', 'x')");
  run(query_, "UPDATE ConnectionControl SET sval = 'changed' WHERE id = 0");
  EXPECT_TRUE(IsConcurrentConflict(*failure("INSERT INTO PRT_Params (pname) VALUES ('pending')"))) << "uncommitted key";
  transaction_.commit();
  EXPECT_TRUE(IsConcurrentConflict(*failure("INSERT INTO PRT_Params (pname) VALUES ('stored')"))) << "committed key";
  EXPECT_TRUE(IsConcurrentConflict(*failure("UPDATE ConnectionControl SET sval = 'mine' WHERE id = 0")))
      << "row changed since the snapshot";

  EXPECT_FALSE(IsConcurrentConflict(*failure("INSERT INTO PRT_Params (pname) VALUES (NULL)")));
  EXPECT_FALSE(IsConcurrentConflict(*failure("SELECT 1/0 FROM rdb$database")));
  EXPECT_FALSE(IsConcurrentConflict(*failure("UPDATE NoSuchTable SET x = 1")));
  EXPECT_FALSE(IsConcurrentConflict(Error(QStringLiteral("Cannot find WKTorvida2.dll"))));
  otherTransaction.rollback();
}

TEST_F(ClientLayer, BadAttachmentsFailCleanly) {
  struct Case {
    QString name;
    QString password;
    const char* fragment;
  };
  const QString notADatabase = QString::fromStdString(company_->folder().path()) + QStringLiteral("/notes.fdb");
  {
    QFile file(notADatabase);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(8192, 'x'));
  }
  const Case cases[] = {
      {QStringLiteral("127.0.0.1:") + company_->file(), QStringLiteral("wrong"), "user name and password"},
      {QStringLiteral("127.0.0.1/3099:") + company_->file(), QStringLiteral("83527146"), "network request"},
      {QStringLiteral("127.0.0.1:") + notADatabase, QStringLiteral("83527146"), "not a valid database"},
      {QStringLiteral("127.0.0.1:/nonexistent/base.fdb"), QStringLiteral("83527146"), "/nonexistent/base.fdb"},
  };
  for (const Case& c : cases) {
    IbDatabase database;
    database.setDatabaseName(c.name);
    database.params() << QStringLiteral("user_name=KELVARO") << QStringLiteral("password=") + c.password;
    try {
      database.open();
      ADD_FAILURE() << c.name.toStdString() << " opened";
    } catch (const DatabaseError& error) {
      EXPECT_TRUE(error.message().contains(QString::fromUtf8(c.fragment), Qt::CaseInsensitive))
          << c.name.toStdString() << ": " << error.what();
      EXPECT_NE(error.sqlCode(), 0);
    }
    EXPECT_FALSE(database.connected());
  }
}

TEST_F(ClientLayer, ForceCloseEndsTransactionsAndCursors) {
  database_.open();
  transaction_.start();
  query_.setSql(QStringLiteral("SELECT id FROM ConnectionControl ORDER BY id"));
  query_.open();
  ASSERT_TRUE(query_.active());
  database_.forceClose();
  EXPECT_FALSE(database_.connected());
  EXPECT_FALSE(transaction_.active());
  EXPECT_FALSE(query_.active());
  // The same components serve the next connection.
  database_.open();
  transaction_.start();
  query_.open();
  EXPECT_EQ(query_.field(0).toLongLong(), 0);
  transaction_.commit();
  database_.close();
}

TEST_F(ClientLayer, ServicesManagerTellsServerVersion) {
  IbServerProperties service;
  service.setProtocol(IbServerProperties::TCP);
  service.setServerName(QStringLiteral("127.0.0.1"));
  service.params() << QStringLiteral("user_name=KELVARO") << QStringLiteral("password=83527146");
  service.attach();
  const ServerVersionInfo info = service.fetchVersionInfo();
  service.detach();
  EXPECT_TRUE(info.serverVersion.startsWith(QStringLiteral("LI-V3.0."))) << info.serverVersion.toStdString();
  EXPECT_FALSE(info.serverImplementation.isEmpty());
  EXPECT_GT(info.serviceVersion, 0);
}

TEST(ClientLibrary, VersionIsTheFirstWord) {
  const QString version = ClientLibraryVersion();
  EXPECT_TRUE(version.startsWith(QStringLiteral("LI-V6.3."))) << version.toStdString();
  EXPECT_FALSE(version.contains(QLatin1Char(' ')));
}

}  // namespace

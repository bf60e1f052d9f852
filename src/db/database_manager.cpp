#include "db/database_manager.h"

#include <QRandomGenerator>
#include <chrono>
#include <thread>

#include "support/errors.h"
#include "support/text.h"
#include "support/user_seam.h"

namespace kelvaro::db {

QString QuotedSqlString(const QString& text) {
  QString inner = text;
  inner.replace(QLatin1Char('\''), QLatin1String("''"));
  return QLatin1Char('\'') + inner + QLatin1Char('\'');
}

QString PresenceName(const QString& UserStr) {
  return fromWindows1252(toWindows1252(UserStr.left(TDatabaseManager::kUserNameLength)));
}

int StrToInt(const QString& text) {
  bool ok = false;
  const int value = text.toInt(&ok);
  if (!ok || text.trimmed() != text)
    throw Error(QStringLiteral("'%1' n'est pas une valeur entière correcte").arg(text));
  return value;
}

TDatabaseManager::TDatabaseManager(QObject* parent)
    : QObject(parent),
      FTransaction2(new IbTransaction(this)),
      FQuery(new IbQuery(this)),
      FQuery2(new IbQuery(this)),
      FSQL(new IbQuery(this)),
      FSQL2(new IbQuery(this)),
      pause_([](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }) {
  setObjectName(QStringLiteral("DatabaseManager"));
  FTransaction2->setObjectName(QStringLiteral("FTransaction2"));
  FQuery2->setTransaction(FTransaction2);
  FSQL2->setTransaction(FTransaction2);
}

TDatabaseManager::~TDatabaseManager() {
  for (const auto& dataset : FDatasetList)
    if (dataset) ShowErrorMessageCaptioned(dataset->objectName(), QStringLiteral("DataSet NOT RELEASED !\r\n"));
  FDatasetList.clear();
}

void TDatabaseManager::setDatabase(IbDatabase* database) {
  FDatabase = database;
  for (IbQuery* q : {FQuery, FQuery2, FSQL, FSQL2}) q->setDatabase(database);
  FTransaction2->setDefaultDatabase(database);
  if (FTransaction) FTransaction->setDefaultDatabase(database);
}

void TDatabaseManager::setTransaction(IbTransaction* transaction) {
  FTransaction = transaction;
  FQuery->setTransaction(transaction);
  FSQL->setTransaction(transaction);
  if (transaction && FDatabase) transaction->setDefaultDatabase(FDatabase);
}

void TDatabaseManager::Connect() {
  if (!FDatabase) throw Error(QStringLiteral("Nil Database"));
  if (FDatabase->connected()) throw Error(QStringLiteral("Already connected!"));
  FDatabase->setDatabaseName(ConnectionString);
  QStringList& params = FDatabase->params();
  params.clear();
  params << QStringLiteral("user_name=") + UserName << QStringLiteral("password=") + Password;
  if (!Role.isEmpty()) params << QStringLiteral("sql_role_name=") + Role;
  params << QStringLiteral("lc_ctype=ISO8859_1");
  FDatabase->open();
}

void TDatabaseManager::GetDBVersion(QString* dbi, int* dbv) {
  StartTrans();
  try {
    FQuery->setSql(QStringList{QStringLiteral("SELECT sval FROM ConnectionControl WHERE"),
                               QStringLiteral("id = :p0")});
    FQuery->setParam(0, 2);
    FQuery->open();
    *dbi = FQuery->eof() ? QString() : FQuery->field(0).toString();
    FQuery->close();
    FQuery->setParam(0, 3);
    FQuery->open();
    *dbv = FQuery->eof() ? 0 : StrToInt(FQuery->field(0).toString());
    FQuery->close();
    CommitTrans();
  } catch (const std::exception& error) {
    FQuery->close();
    RollbackTrans(error);
  }
}

// --- Presence ----------------------------------------------------------------

void TDatabaseManager::RunAttempts(const std::function<bool()>& attempt) noexcept {
  for (int i = 0; i < kPresenceAttempts; ++i) {
    if (i > 0) pause_(int(QRandomGenerator::global()->bounded(kMaxPauseMs + 1)));
    try {
      FTransaction2->start();
    } catch (...) {
      continue;
    }
    try {
      if (attempt()) return;
    } catch (...) {
    }
    rollbackTransaction2();
  }
}

void TDatabaseManager::rollbackTransaction2() noexcept {
  FQuery2->close();
  FSQL2->close();
  try {
    if (FTransaction2->active()) FTransaction2->rollback();
  } catch (...) {
    FTransaction2->handle().forceRollback();
  }
}

bool TDatabaseManager::RegisterAttempt(const QString& name) {
  FQuery2->setSql(QStringLiteral("SELECT COUNT(*) FROM Users WHERE username=") + QuotedSqlString(name));
  FQuery2->open();
  const qint64 count = FQuery2->eof() ? 0 : FQuery2->field(0).toLongLong();
  FQuery2->close();
  if (count == 0)
    FSQL2->setSql(QStringList{QStringLiteral("INSERT INTO Users (username, lastcheck)"),
                              QStringLiteral("VALUES (:p0, 'Now')")});
  else
    FSQL2->setSql(QStringList{QStringLiteral("UPDATE Users SET lastcheck = 'Now' WHERE"),
                              QStringLiteral("username = :p0")});
  FSQL2->clearParams();
  FSQL2->setParam(0, name);
  FSQL2->execQuery();
  PurgeStaleUsers();
  FTransaction2->commit();
  return true;
}

void TDatabaseManager::PurgeStaleUsers() {
  FQuery2->setSql(QStringLiteral("SELECT * FROM GET_SERVER_TIME"));
  FQuery2->open();
  const QDateTime serverTime = FQuery2->field(0).toDateTime();
  FQuery2->close();
  FSQL2->setSql(QStringLiteral("DELETE FROM Users WHERE lastcheck < :p0"));
  FSQL2->clearParams();
  FSQL2->setParam(0, serverTime.addMSecs(-qint64(kStaleDays * 24 * 3600 * 1000)));
  FSQL2->execQuery();
}

void TDatabaseManager::RegisterUser(const QString& UserStr) noexcept {
  const QString name = PresenceName(UserStr);
  RunAttempts([&] { return RegisterAttempt(name); });
}

bool TDatabaseManager::UnRegisterAttempt(const QString& name) {
  FSQL2->setSql(QStringLiteral("DELETE FROM Users WHERE username=") + QuotedSqlString(name));
  FSQL2->clearParams();
  FSQL2->execQuery();
  FTransaction2->commit();
  return true;
}

void TDatabaseManager::UnRegisterUser(const QString& UserStr) noexcept {
  const QString name = PresenceName(UserStr);
  RunAttempts([&] { return UnRegisterAttempt(name); });
}

// --- Datasets ----------------------------------------------------------------

void TDatabaseManager::RegisterDataset(IbQuery* dataset) {
  if (!dataset || FDatasetList.contains(dataset)) return;
  FDatasetList.append(dataset);
  connect(dataset, &QObject::destroyed, this, [this](QObject* gone) {
    FDatasetList.removeIf([gone](const QPointer<IbQuery>& d) { return d.isNull() || d.data() == gone; });
  });
}

void TDatabaseManager::CloseAllConnections() noexcept {
  for (const auto& dataset : FDatasetList) {
    if (!dataset) continue;
    dataset->close();
    IbTransaction* transaction = dataset->transaction();
    if (transaction && transaction->active()) {
      try {
        transaction->rollback();
      } catch (...) {
      }
    }
  }
}

void TDatabaseManager::FreeDataset(IbQuery* DataSet) {
  if (!DataSet) return;
  if (!FDatasetList.contains(DataSet)) throw Error(QStringLiteral("FreeDataset : not found"));
  DataSet->close();
  FDatasetList.removeAll(DataSet);
  delete DataSet;
}

// --- Nested brackets on the main transaction ---------------------------------

void TDatabaseManager::StartTrans() {
  if (!FTransaction) throw Error(objectName() + QStringLiteral(" no transaction"));
  if (FTransaction->tag == 0) {
    FTransaction->start();
    ++FActiveTransactionCount;
  }
  ++FTransaction->tag;
}

void TDatabaseManager::CommitTrans() {
  if (!FTransaction) throw Error(objectName() + QStringLiteral(" no transaction"));
  if (--FTransaction->tag == 0) {
    --FActiveTransactionCount;
    FTransaction->commit();
  }
}

void TDatabaseManager::RollbackTrans() {
  if (!FTransaction) throw Error(objectName() + QStringLiteral(" no transaction"));
  if (--FTransaction->tag == 0) {
    FTransaction->rollback();
    --FActiveTransactionCount;
  }
}

void TDatabaseManager::RollbackTrans(const std::exception& error) {
  RollbackTrans();
  if (const auto* database = dynamic_cast<const DatabaseError*>(&error))
    throw DatabaseError(database->message(), database->sqlCode(), database->errorCodes());
  if (const auto* ordinary = dynamic_cast<const Error*>(&error)) throw Error(ordinary->message());
  throw Error(QString::fromUtf8(error.what()));
}

}  // namespace kelvaro::db

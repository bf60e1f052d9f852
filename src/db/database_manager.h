// TDatabaseManager: the conventions every product database shares. How a
// connection is opened (parameters, ISO8859_1), where a database keeps its
// identity and version (ConnectionControl rows 2 and 3), and how workstations
// announce themselves in the presence table Users.
//
// Guarantees when things go wrong: Connect and GetDBVersion raise (a failed
// GetDBVersion rolls back its bracket of the main transaction before the
// error leaves). RegisterUser and UnRegisterUser never raise: they retry five
// times in their own transaction, which is rolled back after every failed
// attempt, and then give up silently; they never commit or roll back the
// caller's main transaction. CloseAllConnections ignores every error.
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <exception>
#include <functional>

#include "db/ib_components.h"

namespace kelvaro::db {

class TDatabaseManager : public QObject {
  Q_OBJECT
 public:
  // Presence names are stored and matched by their first 60 characters.
  static constexpr int kUserNameLength = 60;
  // A presence row older than the server time minus 0.03 day is stale.
  static constexpr double kStaleDays = 0.03;
  static constexpr int kPresenceAttempts = 5;
  static constexpr int kMaxPauseMs = 1999;

  explicit TDatabaseManager(QObject* parent = nullptr);
  ~TDatabaseManager() override;

  void setDatabase(IbDatabase* database);
  IbDatabase* Database() const { return FDatabase; }
  void setTransaction(IbTransaction* transaction);
  IbTransaction* Transaction() const { return FTransaction; }

  QString UserName, Password, Role, ConnectionString;
  int DBVersion = 0;
  QString DBIdentifier, DBDescription;
  int ActiveTransactionCount() const { return FActiveTransactionCount; }

  void Connect();
  void GetDBVersion(QString* dbi, int* dbv);
  void RegisterUser(const QString& UserStr) noexcept;
  void UnRegisterUser(const QString& UserStr) noexcept;
  void CloseAllConnections() noexcept;

  // Datasets created on the manager's database by table managers; a
  // registered dataset is forgotten when it is destroyed.
  void RegisterDataset(IbQuery* dataset);
  const QList<QPointer<IbQuery>>& Datasets() const { return FDatasetList; }
  void FreeDataset(IbQuery* DataSet);

  // The pause before a presence retry. Sleeps the thread by default; tests
  // record the pauses instead.
  using PauseFunction = std::function<void(int ms)>;
  void setPauseFunction(PauseFunction pause) { pause_ = std::move(pause); }

  // Nested use of the main transaction, sharing its tag as the counter.
  void StartTrans();
  void CommitTrans();
  [[noreturn]] void RollbackTrans(const std::exception& error);
  void RollbackTrans();  // without an error: only the bookkeeping

 private:
  void PurgeStaleUsers();
  bool RegisterAttempt(const QString& name);
  bool UnRegisterAttempt(const QString& name);
  void RunAttempts(const std::function<bool()>& attempt) noexcept;
  void rollbackTransaction2() noexcept;

  QPointer<IbDatabase> FDatabase;
  IbTransaction* FTransaction2;
  QPointer<IbTransaction> FTransaction;
  IbQuery* FQuery;
  IbQuery* FQuery2;
  IbQuery* FSQL;
  IbQuery* FSQL2;
  QList<QPointer<IbQuery>> FDatasetList;
  int FActiveTransactionCount = 0;
  PauseFunction pause_;
};

// A quoted SQL string literal: single quotes, inner quotes doubled.
QString QuotedSqlString(const QString& text);

// The name a workstation's presence row carries: the first 60 characters of
// UserStr, where a character the products' code page (Windows-1252) has no
// byte for becomes "?". The row is only a label, so a user or computer name
// such as "Łukasz" must not make every registration fail.
QString PresenceName(const QString& UserStr);

// The text as a decimal integer, or kelvaro::Error with the conversion
// message.
int StrToInt(const QString& text);

}  // namespace kelvaro::db

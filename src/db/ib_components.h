// The database components the modules are built from: a connection
// (IbDatabase), a transaction (IbTransaction), a statement or dataset with
// positional parameters and fetched rows (IbQuery), and the services client
// that reads the server's version (IbServerProperties). They sit on the RAII
// handles of fb_handles.h and keep track of one another the way the modules
// expect: closing a connection ends its transactions and statements,
// committing a transaction closes the cursors opened in it.
//
// Guarantees when things go wrong: every client failure raises
// kelvaro::DatabaseError (server message and SQL code) and leaves the
// component in a defined state: a failed open leaves it closed, a failed
// statement leaves its cursor closed, a failed commit leaves the transaction
// active so that the caller can roll it back. forceClose() never raises and
// drops the connection even when the server cannot be reached, rolling back
// (or, when the server is gone, abandoning) every transaction on it. Text
// that the connection's character set cannot hold raises kelvaro::Error
// before the statement runs, never a silently altered value.
#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QVariant>
#include <vector>

#include "db/fb_handles.h"
#include "db/info_reply.h"

namespace kelvaro::db {

class IbTransaction;
class IbQuery;

class IbDatabase : public QObject {
  Q_OBJECT
 public:
  explicit IbDatabase(QObject* parent = nullptr);
  ~IbDatabase() override;

  // The connection string as the program knows it (a Windows path for a
  // local database); translated for the client only when opening.
  void setDatabaseName(const QString& name) { databaseName_ = name; }
  const QString& databaseName() const { return databaseName_; }
  // "user_name=...", "password=...", "sql_role_name=...", "lc_ctype=...".
  QStringList& params() { return params_; }
  void setSqlDialect(int dialect) { sqlDialect_ = dialect; }
  int sqlDialect() const { return sqlDialect_; }
  void setDefaultTransaction(IbTransaction* transaction) { defaultTransaction_ = transaction; }
  IbTransaction* defaultTransaction() const { return defaultTransaction_; }

  void open();
  // Rolls back the transactions still active, drops the statements and
  // detaches; the detach error, if any, is raised after everything is closed.
  void close();
  void forceClose() noexcept;
  bool connected() const { return attachment_.isOpen(); }

  // Text to and from the connection's character set (lc_ctype): UTF-8 for
  // UTF8, otherwise the Windows-1252 bytes the products store. encode raises
  // kelvaro::Error for a character that has no such byte, so that nothing is
  // stored in its place.
  QByteArray encode(const QString& text) const;
  QString decode(const QByteArray& bytes) const;
  short charsetId() const { return charsetId_; }

  Attachment& attachment() { return attachment_; }

 private:
  friend class IbTransaction;
  friend class IbQuery;
  void releaseDependents(bool force) noexcept;

  QString databaseName_;
  QStringList params_;
  int sqlDialect_ = 3;
  QPointer<IbTransaction> defaultTransaction_;
  QString charset_;
  short charsetId_ = 0;
  Attachment attachment_;
  QList<QPointer<IbTransaction>> transactions_;
  QList<QPointer<IbQuery>> queries_;
};

class IbTransaction : public QObject {
  Q_OBJECT
 public:
  explicit IbTransaction(QObject* parent = nullptr);
  ~IbTransaction() override;

  void setDefaultDatabase(IbDatabase* database);
  IbDatabase* defaultDatabase() const { return database_; }
  // Empty: the client's default transaction kind.
  void setParams(const QByteArray& tpb) { tpb_ = tpb; }
  const QByteArray& params() const { return tpb_; }

  void start();
  void commit();
  void rollback();
  bool active() const { return transaction_.isActive(); }

  // The component's integer tag: the nesting counter of the brackets.
  int tag = 0;

  Transaction& handle() { return transaction_; }

 private:
  friend class IbDatabase;
  friend class IbQuery;
  void closeCursors() noexcept;
  void abandon() noexcept;

  QPointer<IbDatabase> database_;
  QByteArray tpb_;
  Transaction transaction_;
  QList<QPointer<IbQuery>> queries_;
};

// A statement with positional parameters. Parameters are written ":name" or
// "?" in the text and bound by their order of appearance; text goes in the
// connection's character set, and a text or byte array bound to a BLOB
// parameter becomes a new blob. Values: QString, qint64 (and smaller
// integers), double, QDateTime (a timestamp without time zone), QDate,
// QByteArray, bool, or a null QVariant for NULL.
class IbQuery : public QObject {
  Q_OBJECT
 public:
  explicit IbQuery(QObject* parent = nullptr);
  ~IbQuery() override;

  void setDatabase(IbDatabase* database);
  IbDatabase* database() const { return database_; }
  void setTransaction(IbTransaction* transaction);
  IbTransaction* transaction() const { return transaction_; }

  // Closes the query and replaces its text (lines joined with a line feed).
  void setSql(const QString& sql);
  void setSql(const QStringList& lines) { setSql(lines.join(QLatin1Char('\n'))); }
  const QString& sql() const { return sql_; }
  void clearParams() { params_.clear(); }
  void setParam(int index, const QVariant& value);
  int paramCount() const { return paramCount_; }

  // Runs a SELECT and reads the first row.
  void open();
  // Runs any statement; a SELECT is opened as by open().
  void execQuery();
  void close() noexcept;
  bool active() const { return statement_.cursorOpen() || hasRow_; }
  bool eof() const { return !hasRow_; }
  void next();

  int fieldCount() const { return int(row_.size()); }
  QVariant field(int index) const;
  QVariant fieldByName(const QString& name) const;

 private:
  friend class IbDatabase;
  friend class IbTransaction;
  void prepare();
  void bindParams();
  void readRow();
  void checkReady() const;
  void forgetStatement() noexcept;

  QPointer<IbDatabase> database_;
  QPointer<IbTransaction> transaction_;
  QString sql_;
  QByteArray clientSql_;  // ":name" replaced by "?"
  int paramCount_ = 0;
  std::vector<QVariant> params_;
  Statement statement_;
  std::vector<QVariant> row_;
  QStringList columnNames_;
  bool hasRow_ = false;
};

class IbServerProperties : public QObject {
  Q_OBJECT
 public:
  enum Protocol { Local, TCP };
  explicit IbServerProperties(QObject* parent = nullptr) : QObject(parent) {}

  void setProtocol(Protocol protocol) { protocol_ = protocol; }
  void setServerName(const QString& name) { serverName_ = name; }
  // "user_name=...", "password=...".
  QStringList& params() { return params_; }
  void setLoginPrompt(bool prompt) { loginPrompt_ = prompt; }

  void attach();
  // Reads the server version, implementation and service version.
  ServerVersionInfo fetchVersionInfo();
  void detach() noexcept { service_.detach(); }
  bool active() const { return service_.isOpen(); }

 private:
  Protocol protocol_ = Local;
  QString serverName_;
  QStringList params_;
  bool loginPrompt_ = false;
  Service service_;
};

}  // namespace kelvaro::db

// TdmDBConnection: the single gateway to a product database. One Firebird
// connection at a time, under the family's administrator account, accepted
// only after the chain of checks: a known client library, a matching server
// build, the expected database identity and version, and enough free disk
// space on the server. An accepted connection registers the workstation in
// the presence table; two timers refresh that registration and re-check the
// disk space while the module lives.
//
// Guarantees when things go wrong:
// - An unknown client library or an empty connection string raise before
//   anything is opened. A refused pairing or identity closes the connection
//   and raises. A critical free-space result closes the connection and shows
//   an error box; ConnectAsKelvaro then returns normally and Connected() is
//   false.
// - Failures of the services query, of reading the control table or of the
//   free-space query raise and leave the connection open (callers always
//   disconnect afterwards); the brackets around them are rolled back first,
//   so no transaction is left running.
// - Disconnect never raises for a failed unregistration, drops the
//   connection even when the server is gone, rolls back whatever is still
//   active and resets the nesting counter.
// - Timer handlers never let an error escape: a silent abort is swallowed,
//   anything else is shown in an error box.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <exception>

#include "db/connection_string.h"
#include "db/database_manager.h"
#include "db/ib_components.h"
#include "db/version_checks.h"

namespace kelvaro::db {

// What one free-space check found; Connect does not act on it beyond what
// CheckFreeDiskSpace itself does (the critical case already disconnected).
enum class FreeSpaceResult { Skipped, Enough, Low, Critical, Unknown };

class TdmDBConnection : public QObject {
  Q_OBJECT
 public:
  static constexpr qint64 kCriticalFreeSpace = 50000000;
  static constexpr qint64 kLowFreeSpace = 150000000;
  static constexpr int kUsersInterval = 1800000;
  static constexpr int kDiskSpaceInterval = 3600000;
  static inline const QString kAdminUser = QStringLiteral("KELVARO");
  static inline const QString kAdminPassword = QStringLiteral("83527146");

  explicit TdmDBConnection(QObject* parent = nullptr);
  ~TdmDBConnection() override;

  void Init(int databaseVersion, const QString& databaseIdentifier,
            const QString& databaseDescription, const QString& clientShortName);
  void SetParams(const QString& ConnectionString, const QString& Username, const QString& Role,
                 const QString& Password);
  void ConnectAsKelvaro();
  void Connect();
  bool Connected() const;
  void Disconnect() noexcept;
  void ClearAllConnections() noexcept;
  void GetDBVersion(QString* DbI, int* DbV);
  TConnectionType ConnectionType() const;
  qint64 GetFreeDiskSpace();
  FreeSpaceResult CheckFreeDiskSpace();
  QString GetUserStr() const;

  void CheckClientVersion(QString* clientVersion);
  void GetServerInfo(QString* ServerVersion, QString* ServerImplementation, int* ServiceVersion);
  void CheckServerVersion(const QString& clientVersion);
  TIBServerType ServerType() const { return FServerType; }

  void DoStartTransaction();
  void DoCommit();
  [[noreturn]] void DoRollback(const std::exception& error);

  // The components, named as the module's form names them.
  IbDatabase* IBDatabase;
  IbTransaction* GlobalTransaction;
  IbQuery* GeneralQuery;
  IbQuery* IBSQL;
  IbServerProperties* IBServerProperties;
  TDatabaseManager* DatabaseManager;
  QTimer* TimerUsers;
  QTimer* TimerCheckDiskSpace;

  bool DoNotCheckFreeSpace() const { return FDoNotCheckFreeSpace; }
  // Whether a connection announces the workstation in the presence table
  // (true unless told otherwise): a connection that must write nothing
  // (a dry run) does not, and then neither refreshes nor removes the row.
  void SetRegistersPresence(bool registers) { FRegistersPresence = registers; }

 public slots:
  void TimerUsersTimer();
  void TimerCheckDiskSpaceTimer();

 private:
  TIBServerType FServerType = UnknownServer;
  QString FClientShortName;
  bool FDoNotCheckFreeSpace = false;
  bool FRegistersPresence = true;
};

// Free bytes as the messages show them: decimal megabytes, rounded down.
QString FreeMegabytes(qint64 bytes);

}  // namespace kelvaro::db

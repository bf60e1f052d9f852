#include "db/db_connection.h"

#include "db/fb_library.h"
#include "db/workstation_identity.h"
#include "platform/system.h"
#include "support/errors.h"
#include "support/user_seam.h"

namespace kelvaro::db {

QString FreeMegabytes(qint64 bytes) { return QString::number(bytes / 1000000) + QStringLiteral(" Mb"); }

TdmDBConnection::TdmDBConnection(QObject* parent)
    : QObject(parent),
      IBDatabase(new IbDatabase(this)),
      GlobalTransaction(new IbTransaction(this)),
      GeneralQuery(new IbQuery(this)),
      IBSQL(new IbQuery(this)),
      IBServerProperties(new IbServerProperties(this)),
      DatabaseManager(new TDatabaseManager(this)),
      TimerUsers(new QTimer(this)),
      TimerCheckDiskSpace(new QTimer(this)) {
  setObjectName(QStringLiteral("dmDBConnection"));
  IBDatabase->setObjectName(QStringLiteral("IBDatabase"));
  GlobalTransaction->setObjectName(QStringLiteral("GlobalTransaction"));
  GeneralQuery->setObjectName(QStringLiteral("GeneralQuery"));
  IBSQL->setObjectName(QStringLiteral("IBSQL"));
  IBServerProperties->setObjectName(QStringLiteral("IBServerProperties"));

  IBDatabase->setSqlDialect(3);
  IBDatabase->setDefaultTransaction(GlobalTransaction);
  IBDatabase->params().clear();
  GlobalTransaction->setDefaultDatabase(IBDatabase);
  for (IbQuery* q : {GeneralQuery, IBSQL}) {
    q->setDatabase(IBDatabase);
    q->setTransaction(GlobalTransaction);
  }
  DatabaseManager->setDatabase(IBDatabase);
  DatabaseManager->setTransaction(GlobalTransaction);
  DatabaseManager->DBVersion = 0;

  TimerUsers->setInterval(kUsersInterval);
  TimerCheckDiskSpace->setInterval(kDiskSpaceInterval);
  connect(TimerUsers, &QTimer::timeout, this, &TdmDBConnection::TimerUsersTimer);
  connect(TimerCheckDiskSpace, &QTimer::timeout, this, &TdmDBConnection::TimerCheckDiskSpaceTimer);
  TimerUsers->start();
  TimerCheckDiskSpace->start();
}

TdmDBConnection::~TdmDBConnection() {
  TimerUsers->stop();
  TimerCheckDiskSpace->stop();
  if (Connected()) Disconnect();
}

void TdmDBConnection::Init(int databaseVersion, const QString& databaseIdentifier,
                           const QString& databaseDescription, const QString& clientShortName) {
  DatabaseManager->DBVersion = databaseVersion;
  DatabaseManager->DBIdentifier = databaseIdentifier;
  DatabaseManager->DBDescription = databaseDescription;
  FClientShortName = clientShortName;
}

void TdmDBConnection::SetParams(const QString& ConnectionString, const QString& Username,
                                const QString& Role, const QString& Password) {
  Disconnect();
  DatabaseManager->ConnectionString = ConnectionString;
  DatabaseManager->UserName = Username;
  DatabaseManager->Role = Role;
  DatabaseManager->Password = Password;
}

void TdmDBConnection::ConnectAsKelvaro() {
  Disconnect();
  DatabaseManager->UserName = kAdminUser;
  DatabaseManager->Role.clear();
  DatabaseManager->Password = kAdminPassword;
  Connect();
  // Checked once more: with free space between the two thresholds the
  // warning therefore shows twice.
  CheckFreeDiskSpace();
}

void TdmDBConnection::Connect() {
  QString dbi;
  int dbv = 0;
  GetDBVersion(&dbi, &dbv);
  if (dbi != DatabaseManager->DBIdentifier || dbv != DatabaseManager->DBVersion) {
    Disconnect();
    throw Error(QStringLiteral("La base de données n'est pas compatible avec le programme!\r\n\r\n") +
                QStringLiteral("Database : ") + dbi + QStringLiteral("\r\nVersion : ") +
                QString::number(dbv));
  }
  // A critical result has closed the connection already; the registration
  // below then fails quietly and Connect returns normally.
  CheckFreeDiskSpace();
  if (FRegistersPresence) DatabaseManager->RegisterUser(GetUserStr());
}

bool TdmDBConnection::Connected() const { return IBDatabase->connected(); }

void TdmDBConnection::Disconnect() noexcept {
  try {
    if (Connected() && FRegistersPresence) DatabaseManager->UnRegisterUser(GetUserStr());
  } catch (...) {
  }
  ClearAllConnections();
}

void TdmDBConnection::ClearAllConnections() noexcept {
  DatabaseManager->CloseAllConnections();
  IBDatabase->forceClose();
  GeneralQuery->close();
  IBSQL->close();
  if (GlobalTransaction->active()) {
    try {
      GlobalTransaction->rollback();
    } catch (...) {
      GlobalTransaction->handle().forceRollback();
    }
  }
  GlobalTransaction->tag = 0;
}

void TdmDBConnection::GetDBVersion(QString* DbI, int* DbV) {
  Disconnect();
  QString clientVersion;
  CheckClientVersion(&clientVersion);
  IBDatabase->params().clear();
  if (DatabaseManager->ConnectionString.isEmpty())
    throw Error(QStringLiteral(
        "Le nom de la base de données manque.\r\nVeuillez compléter la configuration du programme."));
  DatabaseManager->Connect();
  CheckServerVersion(clientVersion);
  DatabaseManager->GetDBVersion(DbI, DbV);
}

TConnectionType TdmDBConnection::ConnectionType() const {
  return ConnectionTypeOf(DatabaseManager->ConnectionString);
}

qint64 TdmDBConnection::GetFreeDiskSpace() {
  const QString& text = DatabaseManager->ConnectionString;
  const qsizetype colon = text.indexOf(QLatin1Char(':'));
  QChar drive;
  if (colon == 1) drive = text[0];
  else if (colon < 0 || colon + 1 >= text.size()) throw Error(QStringLiteral("0312181326"));
  else drive = text[colon + 1];

  DoStartTransaction();
  try {
    GeneralQuery->setSql(QStringLiteral("SELECT GetFreeDiskSpace('") + drive +
                         QStringLiteral("') FROM rdb$database"));
    GeneralQuery->open();
    const qint64 free = GeneralQuery->eof() ? 0 : GeneralQuery->field(0).toLongLong();
    GeneralQuery->close();
    DoCommit();
    return free;
  } catch (const std::exception& error) {
    GeneralQuery->close();
    DoRollback(error);
  }
}

FreeSpaceResult TdmDBConnection::CheckFreeDiskSpace() {
  if (FDoNotCheckFreeSpace || !Connected()) return FreeSpaceResult::Skipped;
  const qint64 free = GetFreeDiskSpace();
  if (free <= 0) {
    FDoNotCheckFreeSpace = true;
    ShowWarningMessage(QStringLiteral(
        "Le serveur Firebird n'a pas pu déterminer la place restante sur le disque de la base de "
        "données!"));
    return FreeSpaceResult::Unknown;
  }
  if (free < kCriticalFreeSpace) {
    Disconnect();
    ShowErrorMessage(QStringLiteral("Il n'y a plus assez de place sur le disque de la base de données!\r\n") +
                     FreeMegabytes(free));
    return FreeSpaceResult::Critical;
  }
  if (free < kLowFreeSpace) {
    ShowWarningMessage(QStringLiteral("L'espace disque pour la base de données est faible!\r\nVeuillez "
                                      "faire de la place sur le disque.\r\n") +
                       FreeMegabytes(free));
    return FreeSpaceResult::Low;
  }
  return FreeSpaceResult::Enough;
}

QString TdmDBConnection::GetUserStr() const {
  if (platform::IsRemoteSession()) {
    uint32_t session = 0;
    if (!GetProcessSessionId(platform::GetCurrentProcessId(), &session)) session = 0;
    return GetLocalUserName() + QStringLiteral(" (") + QString::number(session) +
           QStringLiteral(") - ") + FClientShortName;
  }
  return GetLocalUserName() + QStringLiteral(" (") + GetLocalComputerName() + QStringLiteral(") - ") +
         FClientShortName;
}

// --- Version checks ----------------------------------------------------------

void TdmDBConnection::CheckClientVersion(QString* clientVersion) {
  const QString version = ClientLibraryVersion();
  if (!IsKnownClientVersion(version)) throw Error(UnknownClientMessage(version));
  *clientVersion = version;
}

void TdmDBConnection::GetServerInfo(QString* ServerVersion, QString* ServerImplementation,
                                    int* ServiceVersion) {
  *ServerVersion = QStringLiteral("?");
  *ServerImplementation = QStringLiteral("?");
  *ServiceVersion = 0;
  IBServerProperties->setLoginPrompt(false);
  IBServerProperties->params().clear();
  IBServerProperties->params() << QStringLiteral("user_name=") + kAdminUser
                               << QStringLiteral("password=") + kAdminPassword;
  switch (ConnectionType()) {
    case ibctLocal:
      IBServerProperties->setProtocol(IbServerProperties::Local);
      IBServerProperties->setServerName(QString());
      break;
    case ibctTCPIP: {
      QString server, path;
      SplitConnectionString(DatabaseManager->ConnectionString, &server, &path);
      IBServerProperties->setProtocol(IbServerProperties::TCP);
      IBServerProperties->setServerName(server);
      break;
    }
    default:
      return;
  }
  IBServerProperties->attach();
  try {
    const ServerVersionInfo info = IBServerProperties->fetchVersionInfo();
    *ServerVersion = info.serverVersion;
    *ServerImplementation = info.serverImplementation;
    *ServiceVersion = info.serviceVersion;
  } catch (...) {
    IBServerProperties->detach();
    throw;
  }
  IBServerProperties->detach();
}

void TdmDBConnection::CheckServerVersion(const QString& clientVersion) {
  FServerType = UnknownServer;
  QString serverVersion, implementation;
  int serviceVersion = 0;
  GetServerInfo(&serverVersion, &implementation, &serviceVersion);
  FServerType = ServerTypeFor(clientVersion, serverVersion);
  if (FServerType == UnknownServer) {
    Disconnect();
    throw Error(PairingRefusedMessage(clientVersion, serverVersion));
  }
}

// --- Brackets ----------------------------------------------------------------

void TdmDBConnection::DoStartTransaction() {
  if (GlobalTransaction->tag == 0) GlobalTransaction->start();
  ++GlobalTransaction->tag;
}

void TdmDBConnection::DoCommit() {
  --GlobalTransaction->tag;
  if (GlobalTransaction->tag < 0) throw Error(QStringLiteral("TRANSACTION MANAGEMENT ERROR"));
  if (GlobalTransaction->tag == 0 && Connected()) GlobalTransaction->commit();
}

void TdmDBConnection::DoRollback(const std::exception& error) {
  --GlobalTransaction->tag;
  if (GlobalTransaction->tag == 0 && Connected()) GlobalTransaction->rollback();
  if (const auto* database = dynamic_cast<const DatabaseError*>(&error))
    throw DatabaseError(database->message(), database->sqlCode(), database->errorCodes());
  if (dynamic_cast<const SilentAbort*>(&error)) throw SilentAbort();
  if (const auto* ordinary = dynamic_cast<const Error*>(&error)) throw Error(ordinary->message());
  throw Error(QString::fromUtf8(error.what()));
}

// --- Timers ------------------------------------------------------------------

void TdmDBConnection::TimerUsersTimer() {
  if (!FRegistersPresence) return;
  try {
    DatabaseManager->RegisterUser(GetUserStr());
  } catch (const SilentAbort&) {
  } catch (const Error& error) {
    ShowErrorMessage(error.message());
  } catch (const std::exception& error) {
    ShowErrorMessage(QString::fromUtf8(error.what()));
  }
}

void TdmDBConnection::TimerCheckDiskSpaceTimer() {
  try {
    CheckFreeDiskSpace();
  } catch (const SilentAbort&) {
  } catch (const Error& error) {
    ShowErrorMessage(error.message());
  } catch (const std::exception& error) {
    ShowErrorMessage(QString::fromUtf8(error.what()));
  }
}

}  // namespace kelvaro::db

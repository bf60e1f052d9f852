// TdmUpdateCommon::Connect and its helpers: a company's database found in the
// registry and opened through the connection module under the administrator
// account, with the identity the product's databases declare.
//
// What this promises when things go wrong: an attempt that does not end with
// an open connection closes the connection module before it returns, so a
// half-opened database (a refused identity, a failed or critical free-space
// check) is never taken for the next company's. Errors of the connection
// itself are swallowed (the caller reports the company as not reached);
// errors of the registry read leave Connect.
#include "engine/company_connection.h"

#include <exception>

#include "db/db_connection.h"
#include "engine/update_common.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "support/change_seam.h"
#include "support/errors.h"
#include "support/registry_access.h"
#include "support/user_seam.h"

namespace kelvaro {

namespace {

const QString kDefaultCompany = QStringLiteral("Default");
const QString kMakerRoot = QStringLiteral("SOFTWARE\\KELVARO S.A.\\");

// Where a product row keeps a company's database name: the key below the
// product (with %1 for the company) and the value.
struct DatabaseNameLayout {
  QString key;
  QString value;
};

bool LayoutOf(TAppNameType row, DatabaseNameLayout* layout) {
  switch (row) {
    case antWKS:
    case antWKR:
      *layout = {QStringLiteral("%1\\WKS_DatabaseName"), QStringLiteral("Path")};
      return true;
    case antTorvida:
      *layout = {QStringLiteral("%1"), QStringLiteral("DatabaseName")};
      return true;
    case antNimbaro:
    case antSolmira:
    case antQRV:
    case antFerrolune:
    case antZRT:
      *layout = {QStringLiteral("%1"), QStringLiteral("ConnectionString")};
      return true;
    default:
      return false;
  }
}

QString ReadDatabaseName(const QString& product, const DatabaseNameLayout& layout, const QString& company) {
  const QString key = kMakerRoot + product + QLatin1Char('\\') + layout.key.arg(company);
  const RegistryData data = ReadRegistryValue(kHkeyLocalMachine, key, layout.value, platform::kKeyRead, QString(), false);
  // A missing key or value comes back as the integer 0; no database is
  // named "0", so that is no name at all.
  if (data.isInteger && data.integer == 0) return QString();
  return data.toString();
}

bool IsAsciiLetter(QChar c) {
  return (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || (c >= QLatin1Char('a') && c <= QLatin1Char('z'));
}

// Ends the wait cursor however the attempt leaves.
struct WaitCursorScope {
  WaitCursorScope() { BeginWaitCursor(); }
  ~WaitCursorScope() { EndWaitCursor(); }
  WaitCursorScope(const WaitCursorScope&) = delete;
  WaitCursorScope& operator=(const WaitCursorScope&) = delete;
};

}  // namespace

QString CompanyDatabaseName(const QString& ProductName, const QString& CompanyName) {
  const TAppNameType row = ProductFromName(ProductName);
  DatabaseNameLayout layout;
  if (!LayoutOf(row, &layout)) return QString();
  QString name = ReadDatabaseName(ProductName, layout, CompanyName);
  const bool hasDefaultPaths = row == antWKS || row == antWKR || row == antTorvida;
  if (name.isEmpty() && hasDefaultPaths && CompanyName.compare(kDefaultCompany, Qt::CaseInsensitive) == 0) {
    name = ReadDatabaseName(ProductName, layout, QStringLiteral("Paths"));
  }
  return WithLocalServerPrefix(name);
}

QString WithLocalServerPrefix(const QString& DatabaseName) {
  const platform::WindowsVersion version = platform::GetWindowsVersion();
  const bool loopbackSystem = version.ntFamily && version.major == 6 && version.minor <= 2;
  if (loopbackSystem && DatabaseName.size() >= 2 && IsAsciiLetter(DatabaseName[0]) &&
      DatabaseName[1] == QLatin1Char(':')) {
    return QStringLiteral("127.0.0.1:") + DatabaseName;
  }
  return DatabaseName;
}

QString TdmUpdateCommon::GetCompanyDatabaseName(const QString& ProductName, const QString& CompanyName) {
  return CompanyDatabaseName(ProductName, CompanyName);
}

QString TdmUpdateCommon::AddLocalServerPrefix(const QString& DatabaseName) {
  return WithLocalServerPrefix(DatabaseName);
}

bool TdmUpdateCommon::Connect(const QString& CompanyName) {
  if (mDbConnection->Connected()) return true;
  mConnectCompany = CompanyName;
  switch (FAppNameType) {
    case antWKS:
      return TryConnect(2, QStringLiteral("WKS_PRO")) || TryConnect(2, QStringLiteral("WKS_DX"));
    case antWKR:
      return TryConnect(2, QStringLiteral("WKS_ING"));
    case antTorvida:
      return TryConnect(2, QStringLiteral("WK_Torvida"));
    case antNimbaro:
      return TryConnect(1, QStringLiteral("Nimbaro"));
    case antQRV:
      return TryConnect(1, QStringLiteral("QRV"));
    default:
      return false;
  }
}

bool TdmUpdateCommon::TryConnect(int Version, const QString& Identifier) {
  if (mConnectCompany.isEmpty()) mConnectCompany = kDefaultCompany;
  const QString name = GetCompanyDatabaseName(ProductName(FAppNameType), mConnectCompany);
  if (name.isEmpty()) return false;
  WaitCursorScope waitCursor;
  mDbConnection->Init(Version, Identifier, QStringLiteral("Base de données"), QStringLiteral("Updater"));
  mDbConnection->SetParams(name, QString(), QString(), QString());
  // A dry run reads the database without announcing the workstation there.
  mDbConnection->SetRegistersPresence(Changes().MakesChanges());
  bool returned = false;
  try {
    mDbConnection->ConnectAsKelvaro();
    returned = true;
  } catch (const std::exception&) {
    // The company is reported as not reached by the caller; the reason was
    // shown by the connection module where it shows one.
  }
  // ConnectAsKelvaro returns normally after a critical free-space check has
  // closed the database, and some failures raise with the database still
  // open: an attempt counts only when it returned with the database open,
  // and a failed one is closed so that the next company starts clean.
  if (returned && mDbConnection->Connected()) return true;
  mDbConnection->Disconnect();
  return false;
}

bool TdmUpdateCommon::Disconnect() {
  if (!mDbConnection) return false;
  mDbConnection->Disconnect();
  return true;
}

}  // namespace kelvaro

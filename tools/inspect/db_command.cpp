// kelvaro-inspect db CONNECTION IDENTIFIER VERSION: opens a company database
// exactly as the updater does (Init, SetParams, ConnectAsKelvaro, with every
// check) and tells what it found, then disconnects.
#include "command_registry.h"
#include "db/db_connection.h"
#include "support/errors.h"

namespace inspect {
namespace {

const char* ServerTypeName(kelvaro::db::TIBServerType type) {
  switch (type) {
    case kelvaro::db::Firebird10: return "Firebird10";
    case kelvaro::db::Firebird15: return "Firebird15";
    case kelvaro::db::Firebird25: return "Firebird25";
    case kelvaro::db::Firebird30: return "Firebird30";
    default: return "UnknownServer";
  }
}

QString Lines(QString text) { return text.replace(QLatin1String("\r\n"), QLatin1String("\n")); }

void ShowServer(kelvaro::db::TdmDBConnection& module) {
  QString version, implementation;
  int serviceVersion = 0;
  module.GetServerInfo(&version, &implementation, &serviceVersion);
  Out(QStringLiteral("Server version: ") + version);
  Out(QStringLiteral("Server implementation: ") + implementation);
  Out(QStringLiteral("ServerType: %1 (%2)")
          .arg(QLatin1String(ServerTypeName(module.ServerType())), QString::number(int(module.ServerType()))));
  if (module.DoNotCheckFreeSpace()) {
    Out(QStringLiteral("Free space: unknown"));
    return;
  }
  Out(QStringLiteral("Free space: ") + kelvaro::db::FreeMegabytes(module.GetFreeDiskSpace()));
}

int RunDb(const QStringList& args) {
  bool versionOk = false;
  const int version = args.size() == 3 ? args[2].toInt(&versionOk) : 0;
  if (!versionOk) {
    Err(QStringLiteral("usage: kelvaro-inspect db CONNECTION IDENTIFIER VERSION"));
    return 2;
  }
  kelvaro::db::TdmDBConnection module;
  module.Init(version, args[1], QString(), QStringLiteral("Inspect"));
  module.SetParams(args[0], QString(), QString(), QString());
  try {
    module.ConnectAsKelvaro();
    // A critical free-space result has closed the connection (and said so).
    if (!module.Connected()) return 1;
    Out(QStringLiteral("Connected"));
    ShowServer(module);
  } catch (const kelvaro::SilentAbort&) {
    module.Disconnect();
    return 1;
  } catch (const kelvaro::Error& error) {
    Err(Lines(error.message()));
    module.Disconnect();
    return 1;
  }
  module.Disconnect();
  return 0;
}

const InspectCommand kDb("db", "db CONNECTION IDENTIFIER VERSION",
                         "opens a company database as the updater does, with every check, and tells what "
                         "it found (server, free space)",
                         RunDb);

}  // namespace
}  // namespace inspect

#include "db/connection_string.h"

#include <QDir>
#include <QFileInfo>

#include "platform/files.h"
#include "support/errors.h"
#include "support/text.h"

namespace kelvaro::db {

TConnectionType ConnectionTypeOf(const QString& text) {
  if (text.isEmpty()) return ibctTCPIP;
  // 1-based positions, 0 when absent, as the rules are stated.
  const auto pos = [&](const QString& needle) { return int(text.indexOf(needle)) + 1; };
  const int unixPos = pos(QStringLiteral(":/"));
  const int uncPos = pos(QStringLiteral("\\\\"));
  const int atPos = pos(QStringLiteral("@"));
  const int colonPos = pos(QStringLiteral(":"));
  const int drivePos = pos(QStringLiteral(":\\"));
  if (unixPos > 0) return ibctUNIX;
  if (uncPos > 0) return ibctNetBEUI;
  if (atPos > 0) return ibctNetWare;
  if (colonPos > 0 && drivePos > 0 && drivePos - colonPos == 2) return ibctTCPIP;
  if (drivePos == 2) return ibctLocal;
  return ibctUnknown;
}

void SplitConnectionString(const QString& text, QString* server, QString* path) {
  switch (ConnectionTypeOf(text)) {
    case ibctLocal:
      server->clear();
      *path = text;
      return;
    case ibctTCPIP: {
      const qsizetype colon = text.indexOf(QLatin1Char(':'));
      if (colon < 0) {  // the empty string
        server->clear();
        path->clear();
        return;
      }
      *server = text.left(colon);
      *path = text.mid(colon + 1, 255);
      return;
    }
    case ibctNetBEUI: {
      const QString rest = text.mid(2, 255);
      const qsizetype slash = rest.indexOf(QLatin1Char('\\'));
      // Without a further backslash the server part is empty and the whole
      // rest is the path.
      *server = QStringLiteral("\\\\") + (slash < 0 ? QString() : rest.left(slash));
      *path = rest.mid(slash + 1, 255);
      return;
    }
    default:
      throw Error(QStringLiteral("error 0203130939"));
  }
}

namespace {

bool IsDrivePath(const QString& path) {
  return path.size() >= 3 && path[0].isLetter() && path[1] == QLatin1Char(':') &&
         path[2] == QLatin1Char('\\');
}

// "127.0.0.1", "localhost" and either with a "/port": this machine.
bool NamesThisMachine(const QString& server) {
  const QString host = server.section(QLatin1Char('/'), 0, 0).toLower();
  return host == QLatin1String("127.0.0.1") || host == QLatin1String("localhost");
}

// The host path with the prefix's links resolved: the deepest existing folder
// is made canonical and the rest appended as given.
QByteArray HostPath(const QString& windowsPath) {
  const std::string native = platform::ToNativePath(toW(windowsPath));
  if (native.empty()) return windowsPath.toLocal8Bit();
  QString path = QString::fromStdString(native);
  QString tail;
  while (!path.isEmpty() && !QFileInfo::exists(path)) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash <= 0) break;
    tail = path.mid(slash) + tail;
    path = path.left(slash);
  }
  const QString canonical = QFileInfo(path).canonicalFilePath();
  return QFile::encodeName((canonical.isEmpty() ? path : canonical) + tail);
}

}  // namespace

QByteArray ClientDatabaseName(const QString& connectionString) {
  if (IsDrivePath(connectionString)) return HostPath(connectionString);
  const qsizetype colon = connectionString.indexOf(QLatin1Char(':'));
  if (colon > 0) {
    const QString server = connectionString.left(colon);
    const QString path = connectionString.mid(colon + 1);
    if (NamesThisMachine(server) && IsDrivePath(path))
      return server.toLocal8Bit() + ':' + HostPath(path);
  }
  return connectionString.toLocal8Bit();
}

}  // namespace kelvaro::db

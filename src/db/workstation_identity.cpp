#include "db/workstation_identity.h"

#include "platform/system.h"
#include "support/errors.h"
#include "support/system_errors.h"
#include "support/text.h"

namespace kelvaro::db {

QString GetLocalComputerName() {
  platform::String name;
  if (platform::GetComputerName(&name)) return toQ(name).left(15);
  const uint32_t code = platform::GetLastError();
  if (code == platform::kErrorNotLoggedOn) return QStringLiteral("?");
  ReportApiError(QStringLiteral("GetComputerName ") + QString::number(code), false);
  return QString();  // not reached: ReportApiError aborts
}

QString GetLocalUserName() {
  platform::String name;
  platform::SetLastError(platform::kErrorSuccess);
  const bool ok = platform::GetUserName(&name);
  // The last error decides, whatever the call returned.
  if (platform::GetLastError() == platform::kErrorNotLoggedOn) return QStringLiteral("?");
  if (!ok) return QString();
  // The name as the system's 80-character buffer holds it, up to its first
  // terminator.
  QString text = toQ(name).left(79);
  const qsizetype nul = text.indexOf(QChar(0));
  return nul < 0 ? text : text.left(nul);
}

bool GetProcessSessionId(uint32_t processId, uint32_t* sessionId) {
  if (!platform::GetWindowsVersion().ntFamily) {
    *sessionId = 0;
    return false;
  }
  return platform::ProcessIdToSessionId(processId, sessionId);
}

}  // namespace kelvaro::db

#include "support/system_errors.h"

#include "platform/files.h"
#include "platform/system.h"
#include "support/errors.h"
#include "support/text.h"
#include "support/user_seam.h"

namespace kelvaro {

QString GetWindowsFolder() {
  const platform::String folder = platform::GetWindowsDirectory();
  // GetWindowsDirectoryW into a buffer of MAX_PATH: a longer answer does not
  // fit and counts as a failure.
  if (folder.empty() || folder.size() >= 260) return {};
  QString text = toQ(folder);
  if (!text.endsWith(QLatin1Char('\\'))) text += QLatin1Char('\\');
  return text;
}

QString SystemErrorText(uint32_t code) {
  const platform::String text = platform::FormatSystemMessage(code);
  if (text.empty()) return QStringLiteral("code : ") + QString::number(code);
  return toQ(text);
}

QString LastErrorText() { return SystemErrorText(platform::GetLastError()); }

void ReportApiError(const QString& Text, bool Continue) {
  ShowErrorMessage(Text + QStringLiteral("\r\n") + LastErrorText());
  if (!Continue) throw SilentAbort();
}

OsError::OsError(uint32_t code)
    : Error(QStringLiteral("Erreur système.  Code : %1.\r\n%2").arg(QString::number(code), SystemErrorText(code))), code_(code) {}

}  // namespace kelvaro

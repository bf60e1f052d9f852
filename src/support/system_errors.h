// The Windows folder, the text of a system error code, and the failure report
// that turns a failed platform call into a message for the user.
#pragma once

#include <QString>
#include <cstdint>

namespace kelvaro {

// The Windows folder with a trailing backslash ("C:\windows\"); empty when
// the platform cannot tell.
QString GetWindowsFolder();

// The system's message for code, line break included, or "code : N" when the
// system has none.
QString SystemErrorText(uint32_t code);

// SystemErrorText of the calling thread's last platform error.
QString LastErrorText();

// Shows Text, a line break and the last platform error's text in an error
// box; then raises SilentAbort unless Continue. Call it right after the
// failing platform call, before anything else can change the last error.
void ReportApiError(const QString& Text, bool Continue);

}  // namespace kelvaro

// Who this workstation is, for the presence name a program registers under
// in a database: computer name, user name, session id.
//
// Where nobody is logged on (system error 1245) the names are "?". Any other
// failure to read the computer name shows an error box with the system's
// text and ends the current operation with kelvaro::SilentAbort.
#pragma once

#include <QString>
#include <cstdint>

namespace kelvaro::db {

QString GetLocalComputerName();
QString GetLocalUserName();
// False when the session cannot be told (sessionId is then untouched, or 0
// on a platform without sessions).
bool GetProcessSessionId(uint32_t processId, uint32_t* sessionId);

}  // namespace kelvaro::db

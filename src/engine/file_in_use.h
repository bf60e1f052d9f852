// Whether an installed file may be replaced right now.
//
// The test opens the file exclusively and closes it again at once; it never
// changes the file. A routine calls it before replacing a program so that a
// running program is reported to the user instead of failing mid-update.
#pragma once

#include <QString>

namespace kelvaro {

// 0 when FileName does not exist or can be opened for reading and writing
// with no sharing; otherwise the platform's error code: 32 for a file in use
// by another process, 5 for access denied (a read-only file included).
int FileInUseError(const QString& FileName);

}  // namespace kelvaro

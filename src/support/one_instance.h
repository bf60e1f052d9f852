// The single-instance check of the wizard and the batch runner: a second
// copy started while one runs in the same installation (same executable
// name, same user, same prefix) ends at once.
#pragma once

#include <QString>

namespace kelvaro {

// The application title a copy is known by: the executable's file name
// without folder, cut at its first ".", every character after the first in
// lower case ("MajTorvida.exe" gives "Majtorvida").
QString ApplicationTitle(const QString& executablePath);

// Takes the instance lock named after this program's title and keeps it for
// the rest of the process. True when another process already held it; false
// also when the lock cannot be made at all (the program then runs). Needs the
// application object, which knows the executable's path.
bool AlreadyRunning();

}  // namespace kelvaro

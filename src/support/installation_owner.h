// The check every program that changes the installation (the wizard, the
// unattended update, kelvaro-update-batch, kelvaro-inspect reg add) makes
// before it touches anything: run as another user than the prefix's owner,
// it would leave files and registry entries that user can no longer write,
// so it refuses, says why in one line and ends with its own exit code.
// Programs that only read may go on.
#pragma once

#include <QString>

namespace kelvaro {

// Exit code of a program that refused a prefix owned by another user.
inline constexpr int kExitForeignInstallation = 5;

// Empty when the installation belongs to the user this program runs as;
// otherwise the French line that names the prefix and its owner.
QString ForeignInstallationRefusal();

}  // namespace kelvaro

#include "db/client_gate.h"

#include "db/fb_library.h"
#include "db/version_checks.h"
#include "support/user_seam.h"

namespace kelvaro::db {

bool CheckClientLibraryVersion() {
  if (IsAcceptedGateVersion(ClientLibraryVersion())) return true;
  ShowWarningMessage(QStringLiteral("ATTENTION !!!\r\n\r\nCette mise à jour a détecté une version incompatible ") +
                     QStringLiteral("de Firebird") +
                     QStringLiteral(".\r\n\r\nVeuillez contacter la société Kelvaro.\r\n\r\nL'application va se terminer."));
  return false;
}

}  // namespace kelvaro::db

#include "support/installation_owner.h"

#include "platform/system.h"
#include "support/text.h"

namespace kelvaro {

QString ForeignInstallationRefusal() {
  const platform::InstallationOwnership ownership = platform::GetInstallationOwnership();
  if (ownership.ours) return {};
  return QStringLiteral("Le préfixe %1 appartient à l'utilisateur %2 : lancez ce programme sous son compte. "
                        "Rien n'a été modifié.")
      .arg(toQ(ownership.location), toQ(ownership.owner));
}

}  // namespace kelvaro

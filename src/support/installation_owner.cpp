#include "support/installation_owner.h"

#include "platform/files.h"
#include "platform/system.h"
#include "support/change_seam.h"
#include "support/text.h"

namespace kelvaro {

QString ForeignInstallationRefusal() {
  const platform::InstallationOwnership ownership = platform::GetInstallationOwnership();
  // The journal of an unfinished update is the installation's too: undoing
  // another user's changes would leave files that user can no longer write.
  platform::String journalOwner;
  if (ownership.ours && !platform::FileIsOurs(toW(JournalPath()), &journalOwner)) {
    return QStringLiteral("Le journal des modifications %1 appartient à l'utilisateur %2 : lancez ce programme sous "
                          "son compte. Rien n'a été modifié.")
        .arg(JournalPath(), toQ(journalOwner));
  }
  if (ownership.ours) return {};
  return QStringLiteral("Le préfixe %1 appartient à l'utilisateur %2 : lancez ce programme sous son compte. "
                        "Rien n'a été modifié.")
      .arg(toQ(ownership.location), toQ(ownership.owner));
}

}  // namespace kelvaro

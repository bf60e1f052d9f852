// TdmUpdateCommon::FindProductFolder: the product root searched by name on
// the fixed and network drives, and the user asked to point at it when the
// drives hold none or several.
#include "engine/update_common.h"
#include "platform/files.h"
#include "products/product_paths.h"
#include "support/text.h"
#include "support/user_seam.h"

namespace kelvaro {
namespace {

// Removable, CD-ROM and RAM drives are never searched: an installation does
// not live there, and a search must not wake a slow drive.
bool IsSearchedDrive(QChar letter) {
  const uint32_t type = platform::GetDriveType(toW(QString(letter) + QStringLiteral(":\\")));
  return type == platform::kDriveFixed || type == platform::kDriveRemote;
}

QString SearchMessage(int count, const QString& folderName) {
  if (count == 0) {
    return QStringLiteral("Répertoire %1 pas trouvé.").arg(folderName) + QStringLiteral(" ") +
           QStringLiteral("Veuillez indiquer son emplacement.");
  }
  return QStringLiteral("%1 répertoires %2 ont été trouvés, veuillez choisir l'emplacement correct.")
      .arg(QString::number(count), folderName);
}

}  // namespace

void TdmUpdateCommon::FindProductFolder(const QString& FolderName, QString& Path) {
  Path.clear();
  int count = 0;
  for (QChar letter : GetDriveLetterList()) {
    if (!IsSearchedDrive(letter)) continue;
    const QString candidate = QString(letter) + QStringLiteral(":\\") + FolderName;
    if (!DirectoryExists(candidate)) continue;
    if (count == 0) Path = candidate;
    ++count;
  }
  if (count == 1) return;

  // Until the user cancels or points at an existing folder of that name.
  const QString title = QStringLiteral("Séléctionner le répertoire \"%1\"").arg(FolderName);
  for (;;) {
    ShowErrorMessage(SearchMessage(count, FolderName));
    QString chosen = Path;
    if (!BrowseForFolder(title, chosen, 0x25)) return;
    count = 0;
    // The user is expected to choose the folder itself: its parent is kept
    // and the name put back, whatever the chosen folder is called.
    Path = ExtractParentFolder(chosen) + FolderName;
    if (DirectoryExists(Path)) return;
  }
}

}  // namespace kelvaro

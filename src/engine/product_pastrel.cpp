// UpdatePastrel: a product that keeps its folder in "BaseFolder" and its data
// files in a "Data" sub-folder. It has no error handler of its own: every
// error goes to the wizard.
#include "engine/product_steps.h"
#include "engine/resource_file.h"
#include "products/product_paths.h"
#include "support/errors.h"
#include "support/user_seam.h"

namespace kelvaro {
namespace {

const QString kProduct = QStringLiteral("Pastrel");
const QString kSettingsFile = QStringLiteral("Pastrel.etf");
constexpr int kSupportedMajorVersion = 3;

QString ProgramNotFound(const QString& what) { return QStringLiteral("Programme %1 pas trouvé.").arg(what); }

}  // namespace

TUpdateResultType TdmUpdateCommon::UpdatePastrel() {
  const QString name = QStringLiteral("Pastrel.exe");
  const QString carried = ExtractRequired(*this, name);

  const QString folder = AppendBackslashIfNotEmpty(GetProductProgramPath(kProduct, true));
  if (folder.isEmpty()) throw Error(ProgramNotFound(kProduct));
  const QString installed = folder + name;
  if (!FileExists(installed)) throw Error(ProgramNotFound(installed));
  if (InstalledMajorVersion(*this, installed) != kSupportedMajorVersion) {
    throw Error(installed + QStringLiteral("\r\n") + QStringLiteral("Version du fichier inconnue ou incompatible."));
  }

  TUpdateResultType result = ReplaceFile(carried, installed, true, false);
  if (result != urtOk) return result;

  // Copied without a check: an update without it fails the copy.
  LogCopyFile(ExtractCarried(*this, kSettingsFile), folder + kSettingsFile, true);

  LoadResourceFileList(QStringLiteral("FileNames.txt"), mNamesList);
  for (qsizetype i = mNamesList.size() - 1; i >= 0; --i) {
    if (mNamesList[i].compare(kSettingsFile, Qt::CaseInsensitive) == 0) mNamesList.removeAt(i);
  }
  AddToLog(QStringLiteral("Copie de ") + QStringLiteral("fichiers de données..."));
  Delay(100);
  if (!CopyListedFiles(folder + QStringLiteral("Data"), false)) result = urtKo;
  return result;
}

}  // namespace kelvaro

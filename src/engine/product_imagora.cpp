// UpdateImagora: installed in the shared programs folder, or where the
// machine-wide registration names it when no product gives the root.
#include "engine/product_steps.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "products/product_paths.h"
#include "support/errors.h"
#include "support/registry_access.h"
#include "support/text.h"
#include "support/change_seam.h"

namespace kelvaro {
namespace {

QString MachineRegisteredFolder() {
  const RegistryData data = ReadRegistryValue(kHkeyLocalMachine, QStringLiteral("SOFTWARE\\KELVARO S.A.\\Imagora\\Program"),
                                              QStringLiteral("Filename"), platform::kKeyRead, QString(), false);
  return data.isInteger ? QString() : ExtractFilePath(data.text);
}

}  // namespace

TUpdateResultType TdmUpdateCommon::UpdateImagora() {
  TUpdateResultType result = urtKo;
  const QString name = QStringLiteral("Imagora.exe");
  const QString carried = ExtractRequired(*this, name);
  try {
    const QString root = GetProductsRootFolder();
    const QString folder = root.isEmpty() ? MachineRegisteredFolder() : root + QStringLiteral("Common\\Programs\\");
    if (folder.isEmpty()) return urtKo;
    if (!DirectoryExists(folder)) Changes().CreateFolder(folder);

    const QString installed = folder + name;
    if (!FileExists(installed)) throw Error(QStringLiteral("Programme %1 pas trouvé.").arg(installed));
    result = ReplaceFile(carried, installed, true, false);
    if (result == urtOk) {
      LoadResourceFileList(QStringLiteral("FileNames.txt"), mNamesList);
      if (!CopyListedFiles(folder, true)) result = urtKo;
    }
  } catch (const Error& error) {
    result = urtKo;
    ReportFailure(*this, name, error.message());
  }
  return result;
}

}  // namespace kelvaro

// UpdateBrevani: installed beside the main product. Its program is replaced
// last, and only when every listed companion file was copied, so that a
// half-updated installation keeps the old program that matches the old
// files.
#include "engine/product_steps.h"
#include "products/product_paths.h"
#include "support/errors.h"

namespace kelvaro {

TUpdateResultType TdmUpdateCommon::UpdateBrevani() {
  TUpdateResultType result = urtKo;
  const QString name = QStringLiteral("Brevani.exe");
  const QString carried = ExtractRequired(*this, name);
  try {
    const QString root = ExtractParentFolder(ExtractParentFolder(GetProductProgramPath(ProductName(antWKS), false)));
    const QString folder = root + QStringLiteral("Brevani\\Programs\\");
    const QString installed = folder + name;
    if (!FileExists(installed)) throw Error(QStringLiteral("Programme %1 pas trouvé.").arg(installed));

    result = ReplaceFile(carried, installed, true, true);
    if (result == urtOk) {
      LoadResourceFileList(QStringLiteral("FileNames.txt"), mNamesList);
      if (CopyListedFiles(folder, true)) {
        InstallPrintLists(folder);
        LogCopyFile(carried, installed, true);
        result = urtOk;
      } else {
        result = urtWarning;
      }
    }
  } catch (const Error& error) {
    result = urtKo;
    ReportFailure(*this, name, error.message());
  }
  return result;
}

}  // namespace kelvaro

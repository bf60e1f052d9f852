// UpdateSolmiraFinance: the two finance products (rows 8 and 9) below the
// "Kelvaro5" root. The interface file is registered once it is known to be
// installed, before anything is replaced, and copied last, after every
// listed file.
#include "engine/product_steps.h"
#include "platform/files.h"
#include "products/product_paths.h"
#include "support/errors.h"
#include "support/text.h"
#include "support/change_seam.h"

namespace kelvaro {
namespace {

const QString kFinanceRoot = QStringLiteral("Kelvaro5");

}  // namespace

TUpdateResultType TdmUpdateCommon::UpdateSolmiraFinance(TAppNameType AppType) {
  TUpdateResultType result = urtKo;
  const QString product = ProductName(AppType);
  const QString name = AppType == antSolmira ? QStringLiteral("rhx\\SA-00.int") : QStringLiteral("fx\\FX-00.int");
  // Carried under its file name alone: a carried name holds no folder.
  const QString carried = ExtractCarried(*this, ExtractFileName(name));
  if (carried.isEmpty()) throw Error(QStringLiteral("Cannot find ") + name);

  QString folder = ExtractParentFolder(GetProductProgramPath(product, false));
  if (folder.isEmpty()) {
    FindProductFolder(kFinanceRoot, folder);
    folder = AppendBackslashIfNotEmpty(folder);
  }
  if (folder.isEmpty()) throw Error(QStringLiteral("Répertoire %1 pas trouvé.").arg(kFinanceRoot));

  try {
    const QString installed = folder + name;
    // Every later run takes the registered path without searching again, so
    // a folder chosen by mistake, where the interface file is missing, must
    // not be remembered; ReplaceFile then reports the missing file.
    const TUpdateResultType registered =
        FileExists(installed) ? RegisterProgramPath(*this, product, installed) : urtOk;
    result = ReplaceFile(carried, installed, true, true);
    if (result == urtOk) {
      LoadResourceFileList(QStringLiteral("FileNames.txt"), mNamesList);
      Changes().CreateFolder(folder + QStringLiteral("Images07"));
      if (CopyListedFiles(folder, true)) LogCopyFile(carried, installed, true);
      else result = urtWarning;
      result = WorseOutcome(result, registered);
    }
  } catch (const Error& error) {
    result = urtKo;
    ReportFailure(*this, name, error.message());
  }
  return result;
}

}  // namespace kelvaro

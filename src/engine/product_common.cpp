// UpdateCommon and UpdateCommonPDF: the shared libraries in
// root\Common\Programs\, which has no program of its own to replace.
#include "engine/product_steps.h"
#include "platform/files.h"
#include "products/product_paths.h"
#include "support/errors.h"
#include "support/text.h"
#include "support/change_seam.h"

namespace kelvaro {
namespace {

const QString kFailureName = QStringLiteral("Common_Programs");

// root\Common\Programs\, created when missing; empty without a root.
QString CommonProgramsFolder() {
  const QString root = GetProductsRootFolder();
  if (root.isEmpty()) return {};
  const QString folder = root + QStringLiteral("Common\\Programs\\");
  if (!DirectoryExists(folder)) Changes().CreateFolder(folder);
  return folder;
}

}  // namespace

TUpdateResultType TdmUpdateCommon::UpdateCommon() {
  TUpdateResultType result = urtKo;
  try {
    const QString folder = CommonProgramsFolder();
    if (folder.isEmpty()) return urtKo;
    LoadResourceFileList(QStringLiteral("FileNames.txt"), mNamesList);
    result = CopyListedFiles(folder, true) ? urtOk : urtKo;
  } catch (const Error& error) {
    result = urtKo;
    ReportFailure(*this, kFailureName, error.message());
  }
  return result;
}

TUpdateResultType TdmUpdateCommon::UpdateCommonPDF() {
  TUpdateResultType result = urtKo;
  try {
    const QString folder = CommonProgramsFolder();
    if (folder.isEmpty()) return urtKo;

    const QString engineLibrary = QStringLiteral("wPDF300A.dll");
    const QString engineSource = ExtractCarried(*this, engineLibrary);
    if (!engineSource.isEmpty()) {
      AddToLog(QString());
      LogCopyFile(engineSource, folder + engineLibrary, true);
    }

    const QString viewerLibrary = QStringLiteral("wPDFViewPlus04.dll");
    const QString viewerSource = ExtractCarried(*this, viewerLibrary);
    if (viewerSource.isEmpty()) {
      AddToLog(QStringLiteral("Sour=? Dest=%1").arg(folder + viewerLibrary));
      result = urtKo;
    } else {
      AddToLog(QString());
      LogCopyFile(viewerSource, folder + viewerLibrary, true);
      result = urtOk;
    }
  } catch (const Error& error) {
    result = urtKo;
    ReportFailure(*this, kFailureName, error.message());
  }
  return result;
}

}  // namespace kelvaro

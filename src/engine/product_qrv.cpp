// UpdateQRV: located through its registered program; documentation files
// follow, then the print lists.
#include "engine/product_steps.h"
#include "products/product_paths.h"
#include "support/errors.h"

namespace kelvaro {

TUpdateResultType TdmUpdateCommon::UpdateQRV() {
  TUpdateResultType result = urtKo;
  QString name = QStringLiteral("QRV.exe");
  const QString carried = ExtractRequired(*this, name);
  try {
    const QString expected = GetProductProgramPath(ProductName(antQRV), true);
    QString installed = expected;
    if (!FileExists(installed) && !AskForMissingProgram(expected, installed)) return urtKo;

    result = ReplaceFile(carried, installed, true, false);
    if (result != urtOk) return result;

    const QString folder = AppendBackslashIfNotEmpty(ExtractFilePath(installed));
    name = QStringLiteral("QRVDOC.pdf");
    CopyOptional(*this, name, folder);
    name = QStringLiteral("QRVHELP.rtf");
    CopyOptional(*this, name, folder);
    // The last file's name stays in a failure line of the print lists.
    result = InstallPrintLists(QString());
  } catch (const Error& error) {
    result = urtKo;
    ReportFailure(*this, name, error.message());
  }
  return result;
}

}  // namespace kelvaro

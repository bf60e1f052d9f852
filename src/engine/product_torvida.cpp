// UpdateTorvida: the address manager. Its program library is replaced in
// root\Torvida\Programs\ after the version comparison, then its companion
// libraries and help file are copied and its print lists installed.
#include "engine/product_steps.h"
#include "products/product_paths.h"
#include "support/errors.h"

namespace kelvaro {
namespace {

const QString kRootFolderName = QStringLiteral("WKelvaro");

}  // namespace

TUpdateResultType TdmUpdateCommon::UpdateTorvida() {
  TUpdateResultType result = urtKo;
  QString name = QStringLiteral("WKTorvida2.dll");
  // Not carried: the error goes to the wizard, before anything is located.
  const QString carried = ExtractRequired(*this, name);
  try {
    QString root = GetProductsRootFolder();
    if (root.isEmpty()) {
      QString found;
      FindProductFolder(kRootFolderName, found);
      root = AppendBackslashIfNotEmpty(found);
    }
    if (!DirectoryExists(root)) return urtKo;

    const QString installed = root + ProductName(antTorvida) + QStringLiteral("\\Programs\\") + name;
    if (!FileExists(installed)) throw Error(QStringLiteral("Fichier pas trouvé : %1").arg(installed));
    result = ReplaceFile(carried, installed, true, false);
    if (result != urtOk) return result;
    const TUpdateResultType registered = RegisterProgramPath(*this, ProductName(antTorvida), installed);

    const QString folder = AppendBackslashIfNotEmpty(ExtractFilePath(installed));
    name = QStringLiteral("IBANKernel.dll");
    CopyOptional(*this, name, folder);
    name = QStringLiteral("Torvida.chm");
    CopyOptional(*this, name, folder);
    name = QStringLiteral("ssleay32.dll");
    CopyRequired(*this, name, folder);
    name = QStringLiteral("libeay32.dll");
    CopyRequired(*this, name, folder);

    name.clear();
    result = WorseOutcome(InstallPrintLists(QString()), registered);
  } catch (const Error& error) {
    result = urtKo;
    ReportFailure(*this, name, error.message());
  }
  return result;
}

}  // namespace kelvaro

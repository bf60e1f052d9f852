// UpdateSorbano: the two editions of the main product (rows 1 and 2), each in
// its own folder below the root. Guarded by the version gate and the
// file-in-use test, since the program and its interface library must be
// replaced together.
#include "engine/product_steps.h"
#include "products/product_paths.h"
#include "support/errors.h"

namespace kelvaro {
namespace {

const QString kInterfaceLibrary = QStringLiteral("WKS_DB_INTF.dll");
constexpr int kGatedMajorVersion = 4;

}  // namespace

TUpdateResultType TdmUpdateCommon::UpdateSorbano() {
  TUpdateResultType result = urtKo;
  QString name = QStringLiteral("Sorbano.exe");
  const QString carried = ExtractRequired(*this, name);
  try {
    QString root = GetProductsRootFolder();
    if (root.isEmpty()) {
      QString found;
      FindProductFolder(QStringLiteral("WKelvaro"), found);
      root = AppendBackslashIfNotEmpty(found);
    }
    if (!DirectoryExists(root)) return urtKo;

    const QString productFolder = FAppNameType == antWKR ? QStringLiteral("WKR") : QStringLiteral("WKS");
    const QString expected = root + productFolder + QStringLiteral("\\Programs\\") + name;
    QString installed = expected;
    if (!FileExists(installed) && !AskForMissingProgram(expected, installed)) return urtKo;
    if (!PassesVersionGate(*this, carried, installed, kGatedMajorVersion)) return urtKo;

    const QString folder = AppendBackslashIfNotEmpty(ExtractFilePath(installed));
    const bool interfaceCarried = !ExtractCarried(*this, kInterfaceLibrary).isEmpty();
    if (!FileIsFree(installed)) return urtKo;
    if (interfaceCarried && !FileIsFree(folder + kInterfaceLibrary)) return urtKo;

    result = ReplaceFile(carried, installed, true, false);
    if (result != urtOk) return result;

    name = kInterfaceLibrary;
    CopyOptionalIfInstalled(*this, name, folder);
    for (const char* optional : {"Kelvaro.dll", "Sorbano_FR.chm", "Sorbano_IT.chm", "KelvaroSupport.exe"}) {
      name = QString::fromLatin1(optional);
      CopyOptional(*this, name, folder);
    }
    for (const char* required : {"ssleay32.dll", "libeay32.dll"}) {
      name = QString::fromLatin1(required);
      CopyRequired(*this, name, folder);
    }

    name.clear();
    result = InstallPrintLists(QString());
  } catch (const Error& error) {
    result = urtKo;
    // During the print lists no file is named: the message alone is written.
    if (name.isEmpty()) AddToLog(error.message());
    else ReportFailure(*this, name, error.message());
  }
  return result;
}

}  // namespace kelvaro

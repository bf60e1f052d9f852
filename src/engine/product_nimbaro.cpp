// UpdateNimbaro: located through its registered program; its interface
// library must be installed beside it. Guarded by the version gate and the
// file-in-use test; the shared PDF libraries follow the program.
#include "engine/product_steps.h"
#include "products/product_paths.h"
#include "support/errors.h"

namespace kelvaro {
namespace {

const QString kInterfaceLibrary = QStringLiteral("WKE_INTF.dll");
constexpr int kGatedMajorVersion = 5;

// Companion programs: each is replaced only where the installation has it.
const char* const kCompanionPrograms[] = {"NimbaroAgenda.exe", "NimbaroExport.exe", "NimbaroImport.exe",
                                          "NimbaroSauvegarde.exe", "NimbaroService.exe"};

}  // namespace

TUpdateResultType TdmUpdateCommon::UpdateNimbaro() {
  TUpdateResultType result = urtKo;
  QString name;
  try {
    const QString expected = GetProductProgramPath(ProductName(antNimbaro), true);
    QString installed = expected;
    if (!FileExists(installed) && !AskForMissingProgram(expected, installed)) return urtKo;
    const QString folder = AppendBackslashIfNotEmpty(ExtractFilePath(installed));
    if (!FileExists(folder + kInterfaceLibrary)) {
      throw Error(QStringLiteral("L'installation de %1 n'a certainement pas été effectuée !!!")
                      .arg(folder + kInterfaceLibrary));
    }

    name = QStringLiteral("Nimbaro.exe");
    const QString carried = ExtractRequired(*this, name);
    if (!PassesVersionGate(*this, carried, installed, kGatedMajorVersion)) return urtKo;
    if (!FileIsFree(installed) || !FileIsFree(folder + kInterfaceLibrary)) return urtKo;

    result = ReplaceFile(carried, installed, true, false);
    if (result != urtOk) return result;

    for (const char* required : {"WKE_INTF.dll", "ssleay32.dll", "libeay32.dll"}) {
      name = QString::fromLatin1(required);
      CopyRequired(*this, name, folder);
    }
    for (const char* companion : kCompanionPrograms) {
      name = QString::fromLatin1(companion);
      CopyOptionalIfInstalled(*this, name, folder);
    }
    name = QStringLiteral("Nimbaro.chm");
    CopyOptional(*this, name, folder);

    UpdateCommonPDF();
    name.clear();
    result = InstallPrintLists(QString());
  } catch (const Error& error) {
    result = urtKo;
    ReportFailure(*this, name, error.message());
  }
  return result;
}

}  // namespace kelvaro

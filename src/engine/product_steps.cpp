#include "engine/product_steps.h"

#include "engine/file_in_use.h"
#include "engine/resource_file.h"
#include "engine/windows_installer.h"
#include "engine/workstation_actions.h"
#include "platform/files.h"
#include "products/product_paths.h"
#include "support/change_seam.h"
#include "support/errors.h"
#include "support/registry_access.h"
#include "support/system_errors.h"
#include "support/user_seam.h"

namespace kelvaro {
namespace {

const QString kCannotFind = QStringLiteral("Cannot find ");
const QString kUnknownVersion = QStringLiteral("Version du fichier inconnue ou incompatible.");
const QString kContactKelvaro = QStringLiteral("Mise à jour impossible, merci de contacter Kelvaro.");

QString FailureHeading(const QString& Name) {
  return QStringLiteral("Une erreur s'est produite lors de la mise à jour du %1").arg(Name);
}

struct FileVersion {
  uint16_t part[4] = {0, 0, 0, 0};
};

FileVersion RequireVersion(TdmUpdateCommon& engine, const QString& FileName) {
  FileVersion version;
  if (!engine.installer().GetFileVersion(FileName, version.part[0], version.part[1], version.part[2],
                                         version.part[3])) {
    throw Error(FileName + QStringLiteral("\r\n") + kUnknownVersion);
  }
  return version;
}

}  // namespace

QString ExtractCarried(TdmUpdateCommon& engine, const QString& Name) {
  return ExtractResourceFile(Name, engine.BuildTempFilename(QStringLiteral("Update")));
}

QString ExtractRequired(TdmUpdateCommon& engine, const QString& Name) {
  const QString path = ExtractCarried(engine, Name);
  if (path.isEmpty()) throw Error(kCannotFind + Name);
  return path;
}

void CopyOptional(TdmUpdateCommon& engine, const QString& Name, const QString& Folder) {
  const QString path = ExtractCarried(engine, Name);
  if (!path.isEmpty()) engine.LogCopyFile(path, Folder + Name, true);
}

void CopyOptionalIfInstalled(TdmUpdateCommon& engine, const QString& Name, const QString& Folder) {
  if (FileExists(Folder + Name)) CopyOptional(engine, Name, Folder);
}

void CopyRequired(TdmUpdateCommon& engine, const QString& Name, const QString& Folder) {
  engine.LogCopyFile(ExtractRequired(engine, Name), Folder + Name, true);
}

QString FailureText(const QString& Name, const QString& Message) {
  return FailureHeading(Name) + QStringLiteral("\r\n") + Message;
}

void ReportFailure(TdmUpdateCommon& engine, const QString& Name, const QString& Message) {
  engine.AddToLog(FailureText(Name, Message));
  Changes().Note(FailureAction(Name, FailureText(Name, Message)));
}

TUpdateResultType RegisterProgramPath(TdmUpdateCommon& engine, const QString& Product, const QString& Path) {
  QString reason;
  try {
    if (SetProductProgramPath(Product, Path)) return urtOk;
    reason = LastRegistryWriteFailure();
  } catch (const Error& error) {
    reason = error.message();
  }
  if (reason.isEmpty()) reason = QStringLiteral("raison inconnue");
  engine.AddToLog(QStringLiteral("Le chemin %1 n'a pas pu être enregistré dans %2 : %3\r\n")
                      .arg(Path, ProductProgramPathEntry(Product), reason.simplified()));
  return urtWarning;
}

TUpdateResultType WorseOutcome(TUpdateResultType a, TUpdateResultType b) {
  auto rank = [](TUpdateResultType r) {
    switch (r) {
      case urtKo: return 4;
      case urtNot: return 3;
      case urtWarning: return 2;
      case urtOk: return 1;
      case urtUnknown: break;
    }
    return 0;
  };
  return rank(a) >= rank(b) ? a : b;
}

bool AskForMissingProgram(const QString& Expected, QString& Installed) {
  ShowErrorMessage(QStringLiteral("Programme %1 pas trouvé.").arg(Expected) + QStringLiteral(" ") +
                   QStringLiteral("Veuillez indiquer son emplacement."));
  QString chosen;
  Installed = User().OpenFile(QString(), QString(), QString(), &chosen) ? chosen : QString();
  return FileExists(Installed);
}

int InstalledMajorVersion(TdmUpdateCommon& engine, const QString& FileName) {
  return RequireVersion(engine, FileName).part[0];
}

bool PassesVersionGate(TdmUpdateCommon& engine, const QString& Carried, const QString& Installed, int Major) {
  const FileVersion carried = RequireVersion(engine, Carried);
  const FileVersion installed = RequireVersion(engine, Installed);
  // A change of major version needs the maker's help, except from the
  // product's CD-ROM, which carries everything the new version needs.
  if (engine.GetSourceDriveType() != platform::kDriveCdrom && installed.part[0] == Major &&
      carried.part[0] > Major) {
    MessageBeep(BeepType::Exclamation);
    WorkstationAction refused;
    refused.kind = WorkstationAction::Kind::Refused;
    refused.target = Installed;
    refused.before = FileVersionText(Installed);
    refused.after = FileVersionText(Carried);
    refused.detail = kContactKelvaro;
    Changes().Note(refused);
    engine.AddToLog(QStringLiteral("\r\n") + kContactKelvaro);
    ShowPlainMessage(kContactKelvaro);
    return false;
  }
  return true;
}

bool FileIsFree(const QString& FileName) {
  const int code = FileInUseError(FileName);
  if (code == 0) return true;
  Changes().Note(InUseAction(FileName, uint32_t(code)));
  // The system text is shown as the system gives it: it usually ends with a
  // line break, which puts the code on a line of its own.
  ShowPlainMessage(FailureHeading(FileName) + QStringLiteral("\r\n") + SystemErrorText(uint32_t(code)) +
                   QStringLiteral(" (") + QString::number(code) + QLatin1Char(')'));
  return false;
}

}  // namespace kelvaro

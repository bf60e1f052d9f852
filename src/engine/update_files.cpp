// Temporary files and the replacement of installed files.
#include <QRandomGenerator>

#include "engine/resource_file.h"
#include "engine/update_common.h"
#include "engine/update_run.h"
#include "engine/windows_installer.h"
#include "engine/workstation_actions.h"
#include "platform/files.h"
#include "products/product_paths.h"
#include "support/change_seam.h"
#include "support/errors.h"
#include "support/text.h"
#include "support/user_seam.h"

namespace kelvaro {
namespace {

QString& UpdaterExecutable() {
  static QString path;
  return path;
}

QString SameVersionQuestion(const QString& destFile) {
  return QStringLiteral("Le fichier ") + ExtractFileName(destFile) +
         QStringLiteral(" présent sur votre système est à jour.\r\nVoulez-vous tout de même continuer la mise à jour ?");
}

QString OlderVersionQuestion(const QString& destFile) {
  return QStringLiteral("Le fichier ") + ExtractFileName(destFile) +
         QStringLiteral(" présent sur votre système est plus récent\r\nque celui qui est contenu dans cette mise à "
                        "jour.\r\nVoulez-vous installer un ancien fichier ?");
}

// The question the version comparison asked about destFile, and its answer,
// among the run's actions; when the answer keeps the installed file, that
// too.
void NoteQuestion(const QString& question, bool yes, const QString& sourceFile, const QString& destFile) {
  WorkstationAction asked;
  asked.kind = WorkstationAction::Kind::Question;
  asked.target = destFile;
  asked.detail = question;
  asked.after = yes ? QStringLiteral("oui") : QStringLiteral("non");
  Changes().Note(asked);
  if (yes) return;
  WorkstationAction kept;
  kept.kind = WorkstationAction::Kind::KeepFile;
  kept.target = destFile;
  kept.before = FileVersionText(destFile);
  kept.after = FileVersionText(sourceFile);
  Changes().Note(kept);
}

// Asks question (after its exclamation beep) and notes it with its answer.
bool AskAboutVersion(const QString& question, const QString& sourceFile, const QString& destFile) {
  MessageBeep(BeepType::Exclamation);
  const bool yes = AskConfirmation(question);
  NoteQuestion(question, yes, sourceFile, destFile);
  return yes;
}

}  // namespace

void SetUpdaterExecutable(const QString& windowsPath) { UpdaterExecutable() = windowsPath; }

QString UpdaterExecutablePath() {
  if (!UpdaterExecutable().isEmpty()) return UpdaterExecutable();
  return toQ(platform::GetModuleFileName());
}

QString TdmUpdateCommon::BuildTempFilename(const QString& FileName) {
  const quint32 number = QRandomGenerator::global()->bounded(10000000u);
  const QString name = mInstaller->GetTempPath() + FileName + QString::number(number) + QStringLiteral(".tmp");
  // A leftover of an earlier run under the same number is removed and the
  // name used again.
  if (FileExists(name)) LogDeleteFile(name);
  return name;
}

bool TdmUpdateCommon::ClearTempPath(const QString& FileMask) {
  try {
    const QString folder = mInstaller->GetTempPath();
    platform::DeleteFilesByMask(toW(folder), toW(FileMask));
    return true;
  } catch (const Error&) {
    return false;
  }
}

TUpdateResultType TdmUpdateCommon::ReplaceFile(const QString& SourceFile, const QString& DestFile, bool CheckIfExists,
                                               bool SimulateFlag) {
  if (CheckIfExists && !FileExists(DestFile)) {
    throw Error(QStringLiteral("Fichier pas trouvé : %1").arg(DestFile));
  }
  switch (mInstaller->CompareFileVersion(DestFile, SourceFile)) {
    // Each question is announced by an exclamation beep of its own before
    // the question's beep.
    case 0:
      if (!AskAboutVersion(SameVersionQuestion(DestFile), SourceFile, DestFile)) {
        LogSameFile(DestFile);
        return urtNot;
      }
      break;
    case -1:
      if (!AskAboutVersion(OlderVersionQuestion(DestFile), SourceFile, DestFile)) {
        LogNotReplacedFile(DestFile);
        return urtNot;
      }
      break;
    default:  // the carried file is newer, or nothing is installed yet
      break;
  }
  if (SimulateFlag) return urtOk;
  try {
    LogCopyFile(SourceFile, DestFile, true);
  } catch (const Error&) {
    // The report already holds the attempt's "Copie de" lines.
    return urtKo;
  }
  return urtOk;
}

bool TdmUpdateCommon::CopyListedFiles(const QString& DestPath, bool LogFlag) {
  bool result = true;
  for (const QString& name : mNamesList) {
    const QString source = ExtractResourceFile(name, BuildTempFilename(QStringLiteral("Update")));
    try {
      LogCopyFile(source, AppendBackslashIfNotEmpty(DestPath) + name, LogFlag);
    } catch (const Error&) {
      result = false;
    }
  }
  return result;
}

int TdmUpdateCommon::GetSourceDriveType() {
  return int(platform::GetDriveType(toW(UpdaterExecutablePath().left(3))));
}

}  // namespace kelvaro

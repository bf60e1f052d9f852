// The update report: the lines a run writes about itself and the two file
// operations that report what they do.
//
// What these promise when things go wrong: a failed copy or delete raises
// after its report lines are written, so the report shows what was being
// attempted; LogCopyFile replaces the target only through the platform's
// atomic copy, so a failure leaves the installed file as it was, and a file
// in use is refused, never overwritten.
#include "engine/update_common.h"
#include "platform/files.h"
#include "support/change_seam.h"
#include "support/errors.h"
#include "support/report_sink.h"
#include "support/text.h"
#include "support/user_seam.h"

namespace kelvaro {
namespace {

const QString kCrLf = QStringLiteral("\r\n");

}  // namespace

void TdmUpdateCommon::InitLog(ReportSink* LogRichEdit) { mLog = LogRichEdit; }

void TdmUpdateCommon::AddToLog(const QString& LogStr, int FontSize, const QString& FontName) {
  // Before the report page exists (or in a run without one) nothing is
  // recorded: the report is not kept anywhere else.
  if (!mLog) return;
  mLog->AppendLine(LogStr, FontSize, FontName);
}

void TdmUpdateCommon::LogCopyFile(const QString& SourceFile, const QString& DestFile, bool LogFlag) {
  if (LogFlag) {
    AddToLog(QStringLiteral("Copie de ") + SourceFile);
    AddToLog(QStringLiteral("vers ") + DestFile + kCrLf);
    Delay(10);  // lets the report repaint between entries
  }
  const platform::String dest = toW(DestFile);
  uint32_t error = platform::kErrorSuccess;
  const bool ok = Changes().WriteFile(DestFile, SourceFile, [&] {
    bool copied = true;
    // A read-only target would refuse the copy: clear its attributes first.
    if (platform::FileExists(dest) && !platform::SetFileAttributes(dest, platform::kAttributeNormal)) {
      copied = false;
      error = platform::GetLastError();
    }
    if (copied && !platform::CopyFile(toW(SourceFile), dest, false)) {
      copied = false;
      error = platform::GetLastError();
    }
    // The installed file ends with normal attributes whatever happened. The
    // error is kept from the failing step, before this call can change it.
    platform::SetFileAttributes(dest, platform::kAttributeNormal);
    if (!copied) platform::SetLastError(error);
    return copied;
  });
  // A change whose undo could not be recorded was not made at all.
  if (!ok && error == platform::kErrorSuccess) error = platform::GetLastError();
  if (!ok) {
    throw Error(QStringLiteral("Source: ") + SourceFile + kCrLf + QStringLiteral("Target: ") + DestFile + kCrLf +
                kCrLf + QStringLiteral("Error: ") + OsError(error).message());
  }
}

void TdmUpdateCommon::LogSameFile(const QString& DestFile) {
  AddToLog(QStringLiteral("Le fichier ") + DestFile);
  AddToLog(QStringLiteral("est à jour : il n'est pas remplacé.") + kCrLf);
}

void TdmUpdateCommon::LogNotReplacedFile(const QString& DestFile) {
  AddToLog(QStringLiteral("Le fichier ") + DestFile);
  AddToLog(QStringLiteral("n'est pas remplacé !!!") + kCrLf);
}

void TdmUpdateCommon::LogDeleteFile(const QString& Filename) {
  AddToLog(QStringLiteral("Fichier ") + Filename + QStringLiteral(" est supprimé.") + kCrLf);
  if (!platform::DeleteFile(toW(Filename))) throw OsError(platform::GetLastError());
}

}  // namespace kelvaro

// The user of unattended runs: report lines go to standard output as they are
// written, message boxes to standard error as "<kind>: <text>" (the plain box
// as "message: <text>"), every question gets the same configured answer, and
// dialogs are cancelled.
#pragma once

#include "support/report_sink.h"
#include "support/user_seam.h"

namespace kelvaro {

class ConsoleUser : public UserSeam, public ReportSink {
 public:
  explicit ConsoleUser(bool answer = false) : answer_(answer) {}

  // A box with a caption of its own shows it before the text.
  bool ShowMessage(MessageKind kind, const QString& text, const QString& caption) override;
  // A console has no sound worth making: the box that follows says enough.
  void Beep(BeepType) override {}
  void SetWaitCursor(bool) override {}
  void ShowWaitNotice(const QString& text) override;
  void Delay(int ms) override;
  bool BrowseForFolder(const QString&, QString*) override { return false; }
  bool OpenFile(const QString&, const QString&, const QString&, QString*) override { return false; }
  bool PrinterSetup() override { return false; }
  void AppendLine(const QString& line, int fontSize, const QString& fontName) override;

 private:
  bool answer_;
};

}  // namespace kelvaro

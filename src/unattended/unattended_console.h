// The console of an unattended run: everything ConsoleUser shows (report
// lines on standard output, message boxes on standard error), also kept for
// the JSON document of the run, and, when standard error is a terminal, one
// status line telling which company the run is on. The status line is
// cleared before anything else is written and drawn again after it, so it
// never mixes with the report or a message, and it is gone when the run
// ends. It is never written when standard error is a file or a pipe: logs
// and the JSON document hold the report only.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "support/console_user.h"

namespace unattended {

struct ShownMessage {
  QString kind;  // "error", "confirmation", ... as on standard error
  QString text;  // after its caption, when the box has one of its own
};

class UnattendedConsole : public kelvaro::ConsoleUser {
 public:
  // reportOnOutput false keeps the report off standard output (the JSON
  // document goes there instead); it is kept all the same.
  UnattendedConsole(bool answer, bool statusLine, bool reportOnOutput = true);
  ~UnattendedConsole() override;

  bool ShowMessage(kelvaro::MessageKind kind, const QString& text, const QString& caption) override;
  void AppendLine(const QString& line, int fontSize, const QString& fontName) override;

  // A message of the runner itself (an update that cannot be read, ...),
  // after the program's name.
  void ShowRunnerError(const QString& text);
  // "Société 2/3 : Alpha" on the status line.
  void ShowCompany(int number, int count, const QString& company);
  void ClearStatus();

  // The report as standard output shows it, one entry a line.
  const QStringList& reportLines() const { return reportLines_; }
  const std::vector<ShownMessage>& messages() const { return messages_; }

 private:
  void writeStatus(const QString& text);

  bool statusLine_;
  bool reportOnOutput_;
  QString status_;  // what the status line shows now, empty when none
  QStringList reportLines_;
  std::vector<ShownMessage> messages_;
};

}  // namespace unattended

// A user for tests: answers questions from a queue and records every box,
// dialog and report line, so a test can assert on exactly what a person would
// have seen.
#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <vector>

#include "support/report_sink.h"
#include "support/user_seam.h"

namespace kelvaro {

class ScriptedUser : public UserSeam, public ReportSink {
 public:
  struct Shown {
    MessageKind kind;
    std::optional<BeepType> beep;  // the box's own beep; none for the plain box
    QString text;
    QString caption;               // as given; empty: the kind's own caption
  };

  // Answers for the questions, in order; a question with no answer left
  // fails the test run loudly (std::logic_error), so no test passes by
  // accident on a question it did not expect.
  std::deque<bool> answers;
  // Folders returned by BrowseForFolder in order; empty queue = cancel.
  std::deque<QString> folders;
  std::deque<QString> files;
  bool printerSetupAnswer = false;

  std::vector<Shown> shown;
  // Every beep in the order sounded: those of the boxes and those sounded on
  // their own.
  std::vector<BeepType> beeps;
  QStringList report;
  QStringList browseTitles;
  int delays = 0;
  bool waitCursor = false;
  // Every change of the wait cursor, in order, and the wait notices.
  std::vector<bool> waitCursorChanges;
  QStringList waitNotices;

  bool ShowMessage(MessageKind kind, const QString& text, const QString& caption) override;
  void Beep(BeepType type) override { beeps.push_back(type); }
  void SetWaitCursor(bool waiting) override {
    waitCursor = waiting;
    waitCursorChanges.push_back(waiting);
  }
  void ShowWaitNotice(const QString& text) override { waitNotices << text; }
  void Delay(int) override { ++delays; }
  bool BrowseForFolder(const QString& title, QString* folder) override;
  bool OpenFile(const QString& title, const QString& folder, const QString& filter,
                QString* file) override;
  bool PrinterSetup() override { return printerSetupAnswer; }
  // Report lines as written, one entry per AppendLine call.
  void AppendLine(const QString& line, int fontSize, const QString& fontName) override;
};

// Installs a ScriptedUser for the lifetime of the object.
class ScopedScriptedUser {
 public:
  ScopedScriptedUser() { SetUser(&user); }
  ~ScopedScriptedUser() { SetUser(nullptr); }
  ScriptedUser user;
};

}  // namespace kelvaro

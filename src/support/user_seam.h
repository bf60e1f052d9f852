// The one way the engine talks to the person in front of the screen: the five
// message boxes, the plain box, the lone beep, the wait cursor, Delay, the
// folder and file dialogs and the printer set-up. (The report of the run has
// its own seam, report_sink.h.)
//
// Three implementations: the Qt one of the wizard, a console one for
// unattended runs, and a scripted one for tests (ScriptedUser). The engine
// reaches the current one through User(); the program installs its own at
// start-up with SetUser().
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace kelvaro {

// MessageBeep types.
enum class BeepType : uint32_t { Question = 0x20, Exclamation = 0x30 };

// Plain: no icon, the application's title as caption.
enum class DialogType { Warning, Error, Information, Confirmation, Plain };

// Which box was shown: one of the five message functions, or the plain box
// (no icon, OK only, no beep of its own); its dialog type, buttons and beep
// follow.
enum class MessageKind { Error, Confirmation, AskWarning, Warning, Info, Plain };

struct MessageStyle {
  DialogType dialog;
  std::optional<BeepType> beep;  // none for the plain box
  bool yesNo;            // Yes/No buttons (Yes default, Escape = No), else OK
  const char* caption;   // the dialog type's French caption; null: the program's title
  const char* name;      // "error", "confirmation", ... for logs and consoles
};
const MessageStyle& StyleOf(MessageKind kind);

// The caption a box of kind shows: caption when given, else its dialog
// type's, and for the plain box the running program's title.
QString CaptionOf(MessageKind kind, const QString& caption = QString());

class UserSeam {
 public:
  virtual ~UserSeam() = default;

  // Shows one box; true when the answer is Yes (always true for OK boxes).
  // The kind's beep, if it has one, comes first, as part of the call. An
  // empty caption stands for CaptionOf(kind).
  virtual bool ShowMessage(MessageKind kind, const QString& text, const QString& caption) = 0;
  // A beep on its own, as MessageBeep sounds it.
  virtual void Beep(BeepType type) = 0;

  virtual void SetWaitCursor(bool waiting) = 0;
  // A line saying what the program waits for, for a user without a wait
  // cursor (the console); windows show the wait cursor alone.
  virtual void ShowWaitNotice(const QString&) {}
  // Waits ms milliseconds; ms > 0 processes pending events meanwhile.
  virtual void Delay(int ms) = 0;

  // Folder chooser starting on *folder; false when cancelled.
  virtual bool BrowseForFolder(const QString& title, QString* folder) = 0;
  // File-open dialog; false when cancelled.
  virtual bool OpenFile(const QString& title, const QString& folder, const QString& filter,
                        QString* file) = 0;
  // Printer set-up; false when cancelled.
  virtual bool PrinterSetup() = 0;
};

UserSeam& User();
// Installs the seam the program uses from now on (not owned); null restores
// the console seam.
void SetUser(UserSeam* seam);

// The five message boxes, the nesting wait cursor and Delay, as every part of
// the program calls them. helpContext is accepted for the callers' sake and
// unused: no help file is attached.
void ShowErrorMessage(const QString& message, int helpContext = 0);
bool AskConfirmation(const QString& message, int helpContext = 0);
bool AskWarning(const QString& message, int helpContext = 0);
void ShowWarningMessage(const QString& message, int helpContext = 0);
void ShowInfoMessage(const QString& message, int helpContext = 0);
// The framework's plain box: no icon, no beep, OK, the application title as
// caption.
void ShowPlainMessage(const QString& message);
// An error box with a caption of its own instead of "Erreur".
void ShowErrorMessageCaptioned(const QString& caption, const QString& message);
void MessageBeep(BeepType type);
void BeginWaitCursor();
void EndWaitCursor();
int WaitCursorCount();
void Delay(int ms);

}  // namespace kelvaro

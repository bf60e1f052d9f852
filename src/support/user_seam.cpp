#include "support/user_seam.h"

#include <QCoreApplication>

#include "support/console_user.h"
#include "support/one_instance.h"
#include "support/registry_access.h"

namespace kelvaro {
namespace {

UserSeam* gUser = nullptr;
int gWaitCursorCount = 0;

bool Show(MessageKind kind, const QString& message) { return User().ShowMessage(kind, message, QString()); }

}  // namespace

const MessageStyle& StyleOf(MessageKind kind) {
  static const MessageStyle kError{DialogType::Error, BeepType::Exclamation, false, "Erreur", "error"};
  static const MessageStyle kConfirmation{DialogType::Confirmation, BeepType::Question, true, "Confirmer", "confirmation"};
  static const MessageStyle kAskWarning{DialogType::Warning, BeepType::Exclamation, true, "Avertissement", "question"};
  static const MessageStyle kWarning{DialogType::Warning, BeepType::Exclamation, false, "Avertissement", "warning"};
  static const MessageStyle kInfo{DialogType::Information, BeepType::Exclamation, false, "Informations", "information"};
  static const MessageStyle kPlain{DialogType::Plain, std::nullopt, false, nullptr, "message"};
  switch (kind) {
    case MessageKind::Error: return kError;
    case MessageKind::Confirmation: return kConfirmation;
    case MessageKind::AskWarning: return kAskWarning;
    case MessageKind::Warning: return kWarning;
    case MessageKind::Info: return kInfo;
    case MessageKind::Plain: return kPlain;
  }
  return kError;
}

QString CaptionOf(MessageKind kind, const QString& caption) {
  if (!caption.isEmpty()) return caption;
  if (const char* own = StyleOf(kind).caption) return QString::fromUtf8(own);
  return ApplicationTitle(QCoreApplication::applicationFilePath());
}

UserSeam& User() {
  // Without a seam installed (tools, early start-up) boxes go to the console
  // and questions get the safe answer, No.
  static ConsoleUser console(false);
  return gUser ? *gUser : console;
}

void SetUser(UserSeam* seam) {
  gUser = seam;
  ShowRegistryWaits();
}

void ShowErrorMessage(const QString& message, int) { Show(MessageKind::Error, message); }
bool AskConfirmation(const QString& message, int) { return Show(MessageKind::Confirmation, message); }
bool AskWarning(const QString& message, int) { return Show(MessageKind::AskWarning, message); }
void ShowWarningMessage(const QString& message, int) { Show(MessageKind::Warning, message); }
void ShowInfoMessage(const QString& message, int) { Show(MessageKind::Info, message); }
void ShowPlainMessage(const QString& message) { Show(MessageKind::Plain, message); }
void ShowErrorMessageCaptioned(const QString& caption, const QString& message) {
  User().ShowMessage(MessageKind::Error, message, caption);
}
void MessageBeep(BeepType type) { User().Beep(type); }

void BeginWaitCursor() {
  if (gWaitCursorCount == 0) User().SetWaitCursor(true);
  ++gWaitCursorCount;
}

void EndWaitCursor() {
  --gWaitCursorCount;
  // An unpaired End is harmless: the count never goes below zero.
  if (gWaitCursorCount < 0) gWaitCursorCount = 0;
  if (gWaitCursorCount == 0) User().SetWaitCursor(false);
}

int WaitCursorCount() { return gWaitCursorCount; }

void Delay(int ms) { User().Delay(ms); }

}  // namespace kelvaro

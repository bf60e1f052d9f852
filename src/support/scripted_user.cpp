#include "support/scripted_user.h"

#include <stdexcept>

namespace kelvaro {

bool ScriptedUser::ShowMessage(MessageKind kind, const QString& text, const QString& caption) {
  const MessageStyle& style = StyleOf(kind);
  if (style.beep) Beep(*style.beep);
  shown.push_back({kind, style.beep, text, caption});
  if (!style.yesNo) return true;
  if (answers.empty()) {
    throw std::logic_error("ScriptedUser: unexpected question: " + text.toStdString());
  }
  const bool answer = answers.front();
  answers.pop_front();
  return answer;
}

bool ScriptedUser::BrowseForFolder(const QString& title, QString* folder) {
  browseTitles << title;
  if (folders.empty()) return false;
  *folder = folders.front();
  folders.pop_front();
  return true;
}

bool ScriptedUser::OpenFile(const QString&, const QString&, const QString&, QString* file) {
  if (files.empty()) return false;
  *file = files.front();
  files.pop_front();
  return true;
}

void ScriptedUser::AppendLine(const QString& line, int, const QString&) { report << line; }

}  // namespace kelvaro

#include "wizard/message_box.h"

#include <QApplication>
#include <QPushButton>

namespace kelvaro {
namespace {

BeepHook& Hook() {
  static BeepHook hook;
  return hook;
}

QMessageBox::Icon IconOf(DialogType type) {
  switch (type) {
    case DialogType::Warning: return QMessageBox::Warning;
    case DialogType::Error: return QMessageBox::Critical;
    case DialogType::Information: return QMessageBox::Information;
    case DialogType::Confirmation: return QMessageBox::Question;
    case DialogType::Plain: break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

QMessageBox::StandardButton ShowMessageDialog(const QString& text, DialogType type, bool yesNo,
                                              const QString& caption) {
  // No parent: the box is centred on the screen, not on a window.
  QMessageBox box(IconOf(type), caption, text);
  box.setWindowModality(Qt::ApplicationModal);
  if (yesNo) {
    box.addButton(QMessageBox::Yes)->setText(QStringLiteral("&Oui"));
    box.addButton(QMessageBox::No)->setText(QStringLiteral("&Non"));
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
  } else {
    box.addButton(QMessageBox::Ok)->setText(QStringLiteral("OK"));
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
  }
  box.exec();
  // A box closed by other means than its buttons (the window manager's
  // close) answers as Escape does.
  auto* clicked = box.clickedButton();
  if (!clicked) return yesNo ? QMessageBox::No : QMessageBox::Ok;
  return box.standardButton(clicked);
}

void SoundBeep(BeepType type) {
  if (Hook()) {
    Hook()(type);
  } else {
    QApplication::beep();
  }
}

void SetBeepHook(BeepHook hook) { Hook() = std::move(hook); }

}  // namespace kelvaro

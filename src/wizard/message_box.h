// The standard message dialog every box of the program uses, and its beep.
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

#include "support/user_seam.h"

class QWidget;

namespace kelvaro {

// Shows the modal message dialog, centred on the screen: the icon of its type
// (none for the plain box), the caption, the text, and either OK or "&Oui"
// (the default) and "&Non" (also the Escape answer). Returns
// QMessageBox::Ok, Yes or No.
QMessageBox::StandardButton ShowMessageDialog(const QString& text, DialogType type, bool yesNo,
                                              const QString& caption);

// The beep that comes before a box, or on its own. Qt has a single system
// beep, so the type only reaches the hook; tests install one to see which
// type was asked.
void SoundBeep(BeepType type);
using BeepHook = std::function<void(BeepType)>;
// Replaces the beep; an empty hook restores QApplication::beep().
void SetBeepHook(BeepHook hook);

}  // namespace kelvaro

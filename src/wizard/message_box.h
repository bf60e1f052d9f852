// The standard message dialog every box of the program uses, and its beep.
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

#include "support/user_seam.h"

class QWidget;

namespace kelvaro {

// The French caption of a dialog type: "Avertissement", "Erreur",
// "Informations", "Confirmer".
QString DialogCaption(DialogType type);

// Shows the modal message dialog, centred on the screen: the icon and caption
// of its type, the text, and either OK or "&Oui" (the default) and "&Non"
// (also the Escape answer). Returns QMessageBox::Ok, Yes or No.
QMessageBox::StandardButton ShowMessageDialog(const QString& text, DialogType type, bool yesNo);

// The beep that comes before every box. Qt has a single system beep, so the
// type only reaches the hook; tests install one to see which type was asked.
void MessageBeep(BeepType type);
using BeepHook = std::function<void(BeepType)>;
// Replaces the beep; an empty hook restores QApplication::beep().
void SetBeepHook(BeepHook hook);

}  // namespace kelvaro

// French for the dialogs Qt draws itself (file and folder choosers, printer
// set-up, the standard buttons), so every window of the wizard speaks French.
#pragma once

class QApplication;

namespace kelvaro {

// Loads Qt's own French translations (qtbase_fr.qm) from Qt's translation
// folder into app. False when they are not installed: the dialogs then stay
// in English and nothing else changes.
bool InstallFrenchTranslations(QApplication& app);

}  // namespace kelvaro

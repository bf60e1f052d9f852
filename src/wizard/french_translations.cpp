#include "wizard/french_translations.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace kelvaro {

bool InstallFrenchTranslations(QApplication& app) {
  // Owned by the application, so it lives as long as the dialogs it serves.
  auto* translator = new QTranslator(&app);
  if (!translator->load(QStringLiteral("qtbase_fr"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  return QApplication::installTranslator(translator);
}

}  // namespace kelvaro

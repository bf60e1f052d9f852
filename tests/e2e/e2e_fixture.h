// An update run as a user's workstation sees it: a fixture prefix with the
// address manager installed, companies in "multiste.txt" whose databases live
// on the Firebird server, an update executable packed by kelvaro-pack from
// the files a test carries, and kelvaro-update-batch running it as its own
// process.
#pragma once

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "db/company_database.h"
#include "fixtures/packed_update.h"
#include "support/registry_access.h"

// Reports compared in full print as text when they differ.
inline void PrintTo(const QString& text, std::ostream* out) { *out << "\n" << text.toStdString(); }

namespace e2e {

namespace fs = std::filesystem;

inline const std::string kPe = KELVARO_PE_FIXTURES;
inline const std::string& kInstalled = fixtures::kTorvidaLibrary;

using BatchRun = fixtures::BatchRun;

// A print-list definition as the products write them (Windows-1252, CR LF).
inline std::string ListDefinition(const std::string& fTitle, const std::string& dTitle, const std::string& iTitle) {
  return "COM:TV2 /* Torvida 2 */\r\nDES:F:" + fTitle + "\r\nDES:D:" + dTitle + "\r\nDES:I:" + iTitle +
         "\r\nPAGE:A4\r\nFIELD:NAME\r\n";
}

// The pieces of a normalised report.
inline const QString kTitle = QStringLiteral("Mise à jour : Mise à jour Torvida  <date>\n\n");
inline const QString kSuccess = QStringLiteral("\nLa mise à jour est terminée avec succès.\n");
inline const QString kWarnings = QStringLiteral("\nLa mise à jour a été effectuée mais avec des avertissements !\n");
inline const QString kFailed = QStringLiteral("\nLa mise à jour a échouée !\n");

inline QString Copies(const QStringList& names) {
  QString text;
  for (const QString& name : names)
    text += QStringLiteral("Copie de <temp>\nvers C:\\WKelvaro\\Torvida\\Programs\\") + name + QStringLiteral("\n\n");
  return text;
}
inline const QStringList kAllFiles{"WKTorvida2.dll", "IBANKernel.dll", "Torvida.chm", "ssleay32.dll", "libeay32.dll"};

inline QString Company(const QString& name, const QStringList& lines) {
  QString text = QStringLiteral("\nMise à jour de listes pour la société ") + name + QLatin1Char('\n');
  for (const QString& line : lines) text += line + QLatin1Char('\n');
  return text;
}
inline QString Added(const QString& title) {
  return QStringLiteral("Les paramètres pour l'impression : \"") + title + QStringLiteral("\" ont été ajoutés.");
}
inline QString Updated(const QString& key) {
  return QStringLiteral("Les paramètres pour l'impression : \"") + key + QStringLiteral("\" ont été mise à jour.");
}
inline QString Failure(const QString& company) {
  return QStringLiteral("Echec de connexion a la société %1, mise à jour des listes non effectuée.").arg(company);
}
class UpdateRunTest : public fixtures::PackedUpdateTest {
 protected:
  void SetUp() override {
    REQUIRE_FIREBIRD_SERVER();
    unsetenv("SSH_CONNECTION");  // a console session, not a remote one
  }

  // The address manager's update: a newer library, its companions and two
  // print lists.
  void carryTorvidaUpdate() {
    PackedUpdateTest::carryTorvidaUpdate("torvida_2_0_0_0.dll");
    carry("PrintLists.txt", "Adresses.lst\r\nEtiquettes.lst\r\n");
    carry("Adresses.lst", ListDefinition("Liste des adresses", "Adressliste", "Elenco indirizzi"));
    carry("Etiquettes.lst", ListDefinition("\xc9tiquettes", "Etiketten", "Etichette"));
  }

  // A company database on the server, named in the registry for company
  // ("Paths" for the default one) through a drive of its own.
  dbtest::CompanyDatabase& companyDatabase(const QString& company) {
    databases.push_back(std::make_unique<dbtest::CompanyDatabase>());
    registerDatabase(company, *databases.back());
    return *databases.back();
  }
  void registerDatabase(const QString& company, const dbtest::CompanyDatabase& db) {
    const char letter = nextDrive++;
    prefix.addDrive(letter, db.folder().path());
    registerName(company, QStringLiteral("127.0.0.1:") + QLatin1Char(letter) + QStringLiteral(":\\company.fdb"));
  }
  void registerName(const QString& company, const QString& name) {
    ASSERT_TRUE(kelvaro::WriteRegistryValue(kelvaro::kHkeyLocalMachine,
                                            QStringLiteral("SOFTWARE\\KELVARO S.A.\\Torvida\\") + company,
                                            QStringLiteral("DatabaseName"), name, kelvaro::RegistryKind::String,
                                            true));
  }
  void companies(const std::string& lines) { prefix.writeFile("C:\\Kelvaro\\multiste.txt", lines); }

  // A run of kelvaro-update-batch whose report is normalised as below.
  BatchRun run(const std::string& update, const QStringList& extra = {}) {
    BatchRun result = PackedUpdateTest::run(update, extra);
    result.out = Normalised(result.out);
    return result;
  }
  // The report with the date and the temporary file numbers made constant.
  static QString Normalised(QString report) {
    report.replace(QRegularExpression(QStringLiteral("\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d")), QStringLiteral("<date>"));
    report.replace(QRegularExpression(QStringLiteral("C:\\\\users\\\\[^\\\\]+\\\\Temp\\\\Update\\d+\\.tmp")),
                   QStringLiteral("<temp>"));
    return report;
  }

  // The keys and F titles stored in db.
  static QStringList StoredLists(const dbtest::CompanyDatabase& db) {
    QStringList result;
    for (const QVariantList& row : db.rows(QStringLiteral("SELECT pname, f_text FROM PRT_Params ORDER BY pname")))
      result << row[0].toString() + QLatin1Char('=') + row[1].toString();
    return result;
  }

  std::vector<std::unique_ptr<dbtest::CompanyDatabase>> databases;
  char nextDrive = 'D';
};

}  // namespace e2e

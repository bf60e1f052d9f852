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
#include "fixtures/temp_prefix.h"
#include "support/registry_access.h"

// Reports compared in full print as text when they differ.
inline void PrintTo(const QString& text, std::ostream* out) { *out << "\n" << text.toStdString(); }

namespace e2e {

namespace fs = std::filesystem;

inline const std::string kPe = KELVARO_PE_FIXTURES;
inline const std::string kInstalled = "C:\\WKelvaro\\Torvida\\Programs\\WKTorvida2.dll";

struct BatchRun {
  int exitCode = -1;
  QString out;
  QString err;
};

// A print-list definition as the products write them (Windows-1252, CR LF).
inline std::string ListDefinition(const std::string& fTitle, const std::string& dTitle, const std::string& iTitle) {
  return "COM:TV2 /* Torvida 2 */\r\nDES:F:" + fTitle + "\r\nDES:D:" + dTitle + "\r\nDES:I:" + iTitle +
         "\r\nPAGE:A4\r\nFIELD:NAME\r\n";
}

class UpdateRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_FIREBIRD_SERVER();
    unsetenv("SSH_CONNECTION");  // a console session, not a remote one
    work = prefix.root() + "/work";
    fs::create_directories(work + "/carried");
  }

  void carry(const std::string& name, const std::string& bytes) {
    std::ofstream(work + "/carried/" + name, std::ios::binary) << bytes;
  }
  void carryFixture(const std::string& name, const std::string& fixture) {
    fs::copy_file(kPe + "/" + fixture, work + "/carried/" + name, fs::copy_options::overwrite_existing);
  }
  void drop(const std::string& name) { fs::remove(work + "/carried/" + name); }

  // The address manager's update: a newer library, its companions and two
  // print lists.
  void carryTorvidaUpdate() {
    carry("Updates.txt", "Torvida\r\n");
    carry("AppInfo1.txt", "Mise \xe0 jour Torvida\r\n");
    carryFixture("WKTorvida2.dll", "torvida_2_0_0_0.dll");
    for (const char* companion : {"IBANKernel.dll", "Torvida.chm", "ssleay32.dll", "libeay32.dll"}) {
      carry(companion, std::string("carried ") + companion);
    }
    carry("PrintLists.txt", "Adresses.lst\r\nEtiquettes.lst\r\n");
    carry("Adresses.lst", ListDefinition("Liste des adresses", "Adressliste", "Elenco indirizzi"));
    carry("Etiquettes.lst", ListDefinition("\xc9tiquettes", "Etiketten", "Etichette"));
  }
  void installTorvida(const std::string& fixture) {
    prefix.makeDirectory("C:\\WKelvaro\\Torvida\\Programs");
    fs::copy_file(kPe + "/" + fixture, prefix.hostPath(kInstalled), fs::copy_options::overwrite_existing);
    ASSERT_TRUE(kelvaro::WriteRegistryValue(kelvaro::kHkeyCurrentUser,
                                            QStringLiteral("SOFTWARE\\KELVARO S.A.\\Torvida\\Program"),
                                            QStringLiteral("Filename"), QString::fromStdString(kInstalled),
                                            kelvaro::RegistryKind::String, true));
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

  // A name of its own per test, so that runs side by side never meet on the
  // single-instance lock, which is named after the executable.
  std::string updateName() const {
    std::string suffix;
    for (char c : fs::path(prefix.root()).filename().string()) {
      if (std::isalnum(static_cast<unsigned char>(c))) suffix += c;
    }
    return "MajTorvida" + suffix;
  }
  std::string pack() {
    const std::string update = work + "/" + updateName();
    QStringList args{QStringLiteral("-o"), QString::fromStdString(update), QStringLiteral("--base"),
                     QStringLiteral(KELVARO_UPDATE_BATCH)};
    for (const auto& entry : fs::directory_iterator(work + "/carried")) args << QString::fromStdString(entry.path().string());
    QProcess packer;
    packer.start(QStringLiteral(KELVARO_PACK), args);
    EXPECT_TRUE(packer.waitForFinished(60000));
    EXPECT_EQ(packer.exitCode(), 0) << packer.readAllStandardError().toStdString();
    return update;
  }
  BatchRun run(const std::string& update, const QStringList& extra = {}) {
    QProcess batch;
    batch.start(QStringLiteral(KELVARO_UPDATE_BATCH), QStringList{QString::fromStdString(update)} + extra);
    EXPECT_TRUE(batch.waitForFinished(120000));
    BatchRun result;
    result.exitCode = batch.exitStatus() == QProcess::NormalExit ? batch.exitCode() : -1;
    result.out = Normalised(QString::fromUtf8(batch.readAllStandardOutput()));
    result.err = QString::fromUtf8(batch.readAllStandardError());
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

  fixtures::TempPrefix prefix;
  std::string work;
  std::vector<std::unique_ptr<dbtest::CompanyDatabase>> databases;
  char nextDrive = 'D';
};

}  // namespace e2e

// What the installation tests share: a temporary prefix whose registry names
// company databases made on the Firebird server, a scripted user that also
// receives the report, an update carrying the files a test names, and the
// engine, created once the prefix is ready (it reads the company list when
// it is created).
#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "db/company_database.h"
#include "engine/update_common.h"
#include "engine/engine_fixture.h"
#include "fixtures/temp_prefix.h"
#include "support/scripted_user.h"

namespace installtest {

// The values a system of version "major.minor" keeps (the dwords win over
// the string), for a key section of the registry file.
inline std::string VersionValues(const std::string& version) {
  const size_t dot = version.find('.');
  char words[96];
  std::snprintf(words, sizeof words, "\"CurrentMajorVersionNumber\"=dword:%08x\n\"CurrentMinorVersionNumber\"=dword:%08x\n",
                std::stoi(version.substr(0, dot)), std::stoi(version.substr(dot + 1)));
  return words + ("\"CurrentVersion\"=\"" + version + "\"\n");
}

// A definition as the products write them: Windows-1252, CR LF.
inline QByteArray ListFile(const std::string& compat, const std::string& fTitle, const std::string& body = "LINE:1") {
  return QByteArray::fromStdString("COM:" + compat + "\r\nDES:F:" + fTitle + "\r\nDES:D:" + fTitle +
                                   " (de)\r\nDES:I:" + fTitle + " (it)\r\n" + body + "\r\n");
}

class InstallationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_FIREBIRD_SERVER();
    enginetest::EnsureApplication();
    unsetenv("SSH_CONNECTION");  // a console session, not a remote one
  }
  void TearDown() override {
    engine.reset();
    platform::SetResourceModule(
        kelvaro::toW(QString::fromStdString(std::filesystem::read_symlink("/proc/self/exe").string())));
  }

  // HKLM\SOFTWARE\KELVARO S.A.\<product>\<key>, value = data.
  void registryValue(const std::string& product, const std::string& key, const std::string& value,
                     const QString& data) {
    std::string escaped;
    for (char c : data.toStdString()) {
      if (c == '\\' || c == '"') escaped += '\\';
      escaped += c;
    }
    std::string path = "Software\\\\KELVARO S.A.\\\\" + product + "\\\\";
    // key is written as the registry file holds it (\x escapes for accents).
    for (size_t i = 0; i < key.size(); ++i) {
      const bool escape = key[i] == '\\' && i + 1 < key.size() && key[i + 1] == 'x';
      path += key[i] == '\\' && !escape ? std::string("\\\\") : std::string(1, key[i]);
    }
    prefix.appendSystemReg("\n[" + path + "] 1796862791\n\"" + value + "\"=\"" + escaped + "\"\n");
  }
  // The connection string of db through the server, as a product writes it:
  // the database's folder becomes a drive of the prefix.
  QString reach(const dbtest::CompanyDatabase& db) {
    const char letter = nextDrive_++;
    prefix.addDrive(letter, db.folder().path());
    return QStringLiteral("127.0.0.1:") + QLatin1Char(letter) + QStringLiteral(":\\company.fdb");
  }
  // A Torvida company whose database is db.
  void torvidaCompany(const std::string& company, const dbtest::CompanyDatabase& db) {
    registryValue("Torvida", company, "DatabaseName", reach(db));
  }
  void companies(const std::string& lines) { prefix.writeFile("C:\\Kelvaro\\multiste.txt", lines); }
  void windowsVersion(const std::string& version) {
    prefix.appendSystemReg("\n[Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion] 1796862791\n" + VersionValues(version));
  }

  // The engine for a product, reading the company list as it is now.
  void start(kelvaro::TAppNameType product = kelvaro::antTorvida) {
    engine = std::make_unique<kelvaro::TdmUpdateCommon>();
    engine->InitLog(&scripted.user);
    engine->SetAppNameType(product);
    carry({});
  }
  void carry(const std::map<QString, QByteArray>& files) {
    enginetest::CarryFiles(prefix.root() + "/MajTest", files);
  }
  QStringList& report() { return scripted.user.report; }

  // The stored lists: pname, d, f, i, compat, text.
  static QList<QVariantList> storedLists(const dbtest::CompanyDatabase& db) {
    return db.rows(QStringLiteral(
        "SELECT pname, d_text, f_text, i_text, compat, print_params FROM PRT_Params ORDER BY pname"));
  }

  fixtures::TempPrefix prefix;
  kelvaro::ScopedScriptedUser scripted;
  std::unique_ptr<kelvaro::TdmUpdateCommon> engine;

 private:
  char nextDrive_ = 'D';
};

}  // namespace installtest

// Company databases for the database tests: a fresh temporary folder owned
// by firebird:firebird (mode 2775, so the server may write there), a database
// made from scripts/firebird/company_db.sql with isql-fb, and a few helpers
// that change its rows through the client layer. Everything is removed when
// the object goes.
#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace kelvaro::db {
class IbDatabase;
}

namespace dbtest {

inline const QString kUser = QStringLiteral("KELVARO");
inline const QString kPassword = QStringLiteral("83527146");

// An attachment of its own to DATABASE (a connection string) as the KELVARO
// account in ISO8859_1, open.
std::unique_ptr<kelvaro::db::IbDatabase> AttachAsKelvaro(const QString& database);
// Every row of SELECT on DATABASE (a connection string), as the KELVARO
// account sees it in ISO8859_1, in one transaction.
QList<QVariantList> SelectRows(const QString& database, const QString& select);

bool ServerReachable();
// KELVARO_REQUIRE_FIREBIRD is set: a missing server fails instead of skipping.
bool ServerRequired();

// A temporary folder the server may write in, removed with its contents.
class FirebirdFolder {
 public:
  FirebirdFolder();
  ~FirebirdFolder();
  FirebirdFolder(const FirebirdFolder&) = delete;
  FirebirdFolder& operator=(const FirebirdFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

class CompanyDatabase {
 public:
  // Creates <folder>/company.fdb: through the server when one listens,
  // embedded otherwise.
  CompanyDatabase();
  const FirebirdFolder& folder() const { return folder_; }
  // Host path of the database file.
  QString file() const;
  // What the test helpers attach to: through the server when it runs.
  QString helperConnection() const;

  // Runs statements as KELVARO in one transaction, through the client layer.
  void exec(const QStringList& statements) const;
  // The rows of a SELECT, every column as a QVariant.
  QList<QVariantList> rows(const QString& select) const;

  // The free space GetFreeDiskSpace answers for every drive letter, or for
  // one letter only.
  void setFreeSpace(qint64 bytes) const;
  void setFreeSpace(QChar drive, qint64 bytes) const;
  void setControlRow(int id, const QString& value) const;
  void deleteControlRow(int id) const;

 private:
  FirebirdFolder folder_;
};

}  // namespace dbtest

// Ends the test (skip, or failure in CI) when no server listens.
#define REQUIRE_FIREBIRD_SERVER()                                                                   \
  do {                                                                                              \
    if (!::dbtest::ServerReachable()) {                                                             \
      if (::dbtest::ServerRequired())                                                               \
        FAIL() << "KELVARO_REQUIRE_FIREBIRD is set but no Firebird server listens on 127.0.0.1:3050"; \
      GTEST_SKIP() << "no Firebird server on 127.0.0.1:3050 (scripts/firebird/start-server.sh "    \
                      "starts one; KELVARO_REQUIRE_FIREBIRD=1 makes this a failure)";               \
    }                                                                                               \
  } while (0)

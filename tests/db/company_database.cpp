#include "company_database.h"

#include <arpa/inet.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QProcess>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <stdexcept>

#include "db/ib_components.h"

namespace fs = std::filesystem;

namespace dbtest {

namespace {

// Opens the database as KELVARO, runs `work` with a query in one transaction
// and commits it.
void InTransaction(const QString& connection, const std::function<void(kelvaro::db::IbQuery&)>& work) {
  using namespace kelvaro::db;
  const std::unique_ptr<IbDatabase> database = AttachAsKelvaro(connection);
  IbTransaction transaction;
  transaction.setDefaultDatabase(database.get());
  transaction.start();
  IbQuery query;
  query.setDatabase(database.get());
  query.setTransaction(&transaction);
  work(query);
  transaction.commit();
  database->close();
}

}  // namespace

std::unique_ptr<kelvaro::db::IbDatabase> AttachAsKelvaro(const QString& connection) {
  auto database = std::make_unique<kelvaro::db::IbDatabase>();
  database->setDatabaseName(connection);
  database->params() << QStringLiteral("user_name=") + kUser << QStringLiteral("password=") + kPassword
                     << QStringLiteral("lc_ctype=ISO8859_1");
  database->open();
  return database;
}

QList<QVariantList> SelectRows(const QString& connection, const QString& select) {
  QList<QVariantList> result;
  InTransaction(connection, [&](kelvaro::db::IbQuery& query) {
    query.setSql(select);
    for (query.open(); !query.eof(); query.next()) {
      QVariantList row;
      for (int i = 0; i < query.fieldCount(); ++i) row << query.field(i);
      result << row;
    }
    query.close();
  });
  return result;
}

bool ServerReachable() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(3050);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return ok;
}

bool ServerRequired() {
  const char* value = std::getenv("KELVARO_REQUIRE_FIREBIRD");
  return value && *value;
}

FirebirdFolder::FirebirdFolder() {
  std::string pattern = (fs::temp_directory_path() / "kelvaro-db-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
  const passwd* user = getpwnam("firebird");
  const group* grp = getgrnam("firebird");
  if (!user || !grp) throw std::runtime_error("no firebird user: install firebird3.0-server");
  if (chown(path_.c_str(), user->pw_uid, grp->gr_gid) != 0)
    throw std::runtime_error("chown of the database folder failed (the tests run as root)");
  chmod(path_.c_str(), 02775);
}

FirebirdFolder::~FirebirdFolder() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

namespace {

std::string ScriptPath() { return std::string(KELVARO_SOURCE_DIR) + "/scripts/firebird/company_db.sql"; }

void RunIsql(const std::string& folder, const std::string& target) {
  const std::string wrapper = folder + "/create.sql";
  {
    std::ofstream out(wrapper);
    out << "SET SQL DIALECT 3;\n"
        << "CREATE DATABASE '" << target << "' USER 'KELVARO' PASSWORD '83527146'\n"
        << "  PAGE_SIZE 4096 DEFAULT CHARACTER SET ISO8859_1;\n"
        << "INPUT '" << ScriptPath() << "';\n";
  }
  chmod(wrapper.c_str(), 0644);
  QProcess isql;
  isql.setProcessChannelMode(QProcess::MergedChannels);
  isql.start(QStringLiteral("setpriv"),
             {QStringLiteral("--reuid=firebird"), QStringLiteral("--regid=firebird"),
              QStringLiteral("--init-groups"), QStringLiteral("isql-fb"), QStringLiteral("-q"),
              QStringLiteral("-b"), QStringLiteral("-i"), QString::fromStdString(wrapper)});
  isql.closeWriteChannel();
  if (!isql.waitForFinished(60000) || isql.exitCode() != 0)
    throw std::runtime_error("isql-fb failed: " + isql.readAll().toStdString());
  fs::remove(wrapper);
}

}  // namespace

CompanyDatabase::CompanyDatabase() {
  const std::string file = folder_.path() + "/company.fdb";
  RunIsql(folder_.path(), ServerReachable() ? "127.0.0.1:" + file : file);
}

QString CompanyDatabase::file() const { return QString::fromStdString(folder_.path() + "/company.fdb"); }

QString CompanyDatabase::helperConnection() const {
  return ServerReachable() ? QStringLiteral("127.0.0.1:") + file() : file();
}

void CompanyDatabase::exec(const QStringList& statements) const {
  InTransaction(helperConnection(), [&](kelvaro::db::IbQuery& query) {
    for (const QString& sql : statements) {
      query.setSql(sql);
      query.execQuery();
      query.close();
    }
  });
}

QList<QVariantList> CompanyDatabase::rows(const QString& select) const {
  return SelectRows(helperConnection(), select);
}

void CompanyDatabase::setFreeSpace(qint64 bytes) const {
  exec({QStringLiteral("UPDATE Test_Settings SET free_space = %1").arg(bytes)});
}

void CompanyDatabase::setFreeSpace(QChar drive, qint64 bytes) const {
  exec({QStringLiteral("UPDATE OR INSERT INTO Test_Drive_Space (letter, free_space) VALUES ('%1', %2)")
            .arg(QString(drive), QString::number(bytes))});
}

void CompanyDatabase::setControlRow(int id, const QString& value) const {
  QString literal = value;
  literal.replace(QLatin1Char('\''), QLatin1String("''"));
  exec({QStringLiteral("UPDATE ConnectionControl SET sval = '%1' WHERE id = %2").arg(literal).arg(id)});
}

void CompanyDatabase::deleteControlRow(int id) const {
  exec({QStringLiteral("DELETE FROM ConnectionControl WHERE id = %1").arg(id)});
}

}  // namespace dbtest

// A Firebird server of the test's own, so a test may kill it without
// disturbing the shared server other tests use at the same time: the
// installed SuperServer started as the firebird user on a free loopback port,
// with its own root folder (configuration, a fresh security database holding
// the KELVARO account), its own lock folder and temporary folder. Company
// databases are created through it and reached only through it
// ("127.0.0.1/<port>:<path>").
//
// What it promises when things go wrong: a setup step that fails throws
// std::runtime_error naming the step and what the tool printed, and leaves
// nothing running; the server is killed and every folder it owns removed
// when the object goes, whatever state the test left it in.
#pragma once

#include <sys/types.h>

#include <QList>
#include <QString>
#include <QVariant>
#include <string>

namespace reliability {

class PrivateFirebird {
 public:
  // Builds the root folder and the security database; the server is not
  // started yet. Throws when Firebird is not installed or a step fails.
  PrivateFirebird();
  ~PrivateFirebird();
  PrivateFirebird(const PrivateFirebird&) = delete;
  PrivateFirebird& operator=(const PrivateFirebird&) = delete;

  // Starts the server and waits until it listens (at most 10 s); throws when
  // it does not come up. The port stays the same across restarts.
  void Start();
  // SIGKILL, then waits until the process is gone and its port is closed.
  void Kill();
  bool running() const { return pid_ > 0; }

  int port() const { return port_; }
  // "127.0.0.1/<port>": the server part of a connection string.
  QString server() const;

  // A database made from scripts/firebird/company_db.sql at hostFile (in a
  // folder the firebird user may write), created through this server.
  void CreateCompanyDatabase(const std::string& hostFile) const;
  // The rows of a SELECT on hostFile through this server, as KELVARO.
  QList<QVariantList> Rows(const std::string& hostFile, const QString& select) const;

 private:
  void WriteConfiguration() const;
  void CreateSecurityDatabase() const;
  // Runs isql-fb as the firebird user on script, with this instance's
  // environment when embedded is true (the engine then works inside this
  // root instead of reaching a server).
  void RunIsql(const std::string& script, bool embedded, const char* step) const;

  std::string folder_;  // everything below belongs to this instance
  std::string root_;    // FIREBIRD: configuration, messages, plugins, security database
  std::string lock_;    // FIREBIRD_LOCK
  std::string temp_;    // FIREBIRD_TMP
  int port_ = 0;
  pid_t pid_ = -1;
};

// Something accepts connections on 127.0.0.1:port.
bool PortOpen(int port);

}  // namespace reliability

#include "reliability/server_death_firebird.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "db/company_database.h"

extern char** environ;

namespace reliability {

namespace fs = std::filesystem;

namespace {

// Where the Debian packages keep the server's own files.
const std::string kSystemRoot = "/usr/lib/x86_64-linux-gnu/firebird/3.0";
const std::string kServer = "/usr/sbin/firebird";

// A port nobody listens on now: the kernel's choice for a socket bound to
// port 0. Another program could take it before the server does; the start
// then fails loudly rather than reaching someone else's server.
int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(fd);
    throw std::runtime_error("no free port on the loopback");
  }
  close(fd);
  return ntohs(address.sin_port);
}

void OwnByFirebird(const std::string& path, mode_t mode) {
  const passwd* user = getpwnam("firebird");
  const group* grp = getgrnam("firebird");
  if (!user || !grp) throw std::runtime_error("no firebird user: install firebird3.0-server");
  if (chown(path.c_str(), user->pw_uid, grp->gr_gid) != 0) throw std::runtime_error("chown " + path + " failed (needs root)");
  chmod(path.c_str(), mode);
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path);
}

bool Exited(pid_t pid) {
  int status = 0;
  return waitpid(pid, &status, WNOHANG) == pid;
}

}  // namespace

bool PortOpen(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(uint16_t(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool open = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return open;
}

PrivateFirebird::PrivateFirebird() {
  if (!fs::exists(kServer) || !fs::exists(kSystemRoot + "/plugins"))
    throw std::runtime_error("Firebird 3.0 server not installed (" + kServer + ", " + kSystemRoot + ")");
  std::string pattern = (fs::temp_directory_path() / "kelvaro-fbserver-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  folder_ = pattern;
  chmod(folder_.c_str(), 0755);
  root_ = folder_ + "/root";
  lock_ = folder_ + "/lock";
  temp_ = folder_ + "/tmp";
  try {
    for (const std::string& path : {root_, lock_, temp_}) {
      fs::create_directory(path);
      OwnByFirebird(path, 0770);
    }
    port_ = FreePort();
    WriteConfiguration();
    CreateSecurityDatabase();
  } catch (...) {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
    throw;
  }
}

PrivateFirebird::~PrivateFirebird() {
  if (running()) Kill();
  std::error_code ignored;
  fs::remove_all(folder_, ignored);
}

QString PrivateFirebird::server() const { return QStringLiteral("127.0.0.1/%1").arg(port_); }

void PrivateFirebird::WriteConfiguration() const {
  WriteText(root_ + "/firebird.conf",
            "RemoteServicePort = " + std::to_string(port_) +
                "\n"
                "RemoteBindAddress = 127.0.0.1\n"
                "SecurityDatabase = " +
                root_ +
                "/security3.fdb\n"
                "UdfAccess = None\n");
  WriteText(root_ + "/databases.conf", "");
  for (const char* shared : {"firebird.msg", "plugins", "plugins.conf", "lib"})
    fs::create_symlink(kSystemRoot + "/" + shared, root_ + "/" + shared);
  // The character sets: the engine refuses a linked copy of the module (the
  // sets then count as "not installed"), so the module is copied.
  fs::create_directory(root_ + "/intl");
  fs::copy_file(kSystemRoot + "/intl/fbintl.conf", root_ + "/intl/fbintl.conf");
  fs::copy_file(kSystemRoot + "/intl/libfbintl.so", root_ + "/intl/libfbintl.so");
  for (const auto& entry : fs::recursive_directory_iterator(root_)) {
    if (!entry.is_symlink()) OwnByFirebird(entry.path().string(), entry.is_directory() ? 0770 : 0640);
  }
}

void PrivateFirebird::CreateSecurityDatabase() const {
  // A fresh security database holding only the account the program uses:
  // the system's own one stays with the shared server.
  const std::string script = folder_ + "/security.sql";
  WriteText(script, "CREATE DATABASE '" + root_ +
                        "/security3.fdb';\n"
                        "CREATE USER KELVARO PASSWORD '83527146';\n"
                        "GRANT CREATE DATABASE TO USER KELVARO;\n"
                        "COMMIT;\n");
  RunIsql(script, true, "creating the security database");
}

void PrivateFirebird::RunIsql(const std::string& script, bool embedded, const char* step) const {
  chmod(script.c_str(), 0644);
  QProcess isql;
  isql.setProcessChannelMode(QProcess::MergedChannels);
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  if (embedded) {
    environment.insert(QStringLiteral("FIREBIRD"), QString::fromStdString(root_));
    environment.insert(QStringLiteral("FIREBIRD_LOCK"), QString::fromStdString(lock_));
    environment.insert(QStringLiteral("FIREBIRD_TMP"), QString::fromStdString(temp_));
  }
  isql.setProcessEnvironment(environment);
  QStringList args{QStringLiteral("--reuid=firebird"), QStringLiteral("--regid=firebird"), QStringLiteral("--init-groups"),
                   QStringLiteral("isql-fb"), QStringLiteral("-q"), QStringLiteral("-b")};
  if (embedded) args << QStringLiteral("-user") << QStringLiteral("SYSDBA");
  args << QStringLiteral("-i") << QString::fromStdString(script);
  isql.start(QStringLiteral("setpriv"), args);
  isql.closeWriteChannel();
  if (!isql.waitForFinished(60000) || isql.exitStatus() != QProcess::NormalExit || isql.exitCode() != 0)
    throw std::runtime_error(std::string(step) + ": isql-fb failed: " + isql.readAll().toStdString());
  fs::remove(script);
}

void PrivateFirebird::Start() {
  if (running()) return;
  std::vector<std::string> variables;
  for (char** entry = environ; *entry; ++entry) {
    const std::string variable = *entry;
    if (variable.rfind("FIREBIRD", 0) == 0 || variable.rfind("ISC_", 0) == 0) continue;
    variables.push_back(variable);
  }
  variables.push_back("FIREBIRD=" + root_);
  variables.push_back("FIREBIRD_LOCK=" + lock_);
  variables.push_back("FIREBIRD_TMP=" + temp_);
  std::vector<char*> envp;
  for (std::string& variable : variables) envp.push_back(variable.data());
  envp.push_back(nullptr);
  std::string args[] = {"setpriv", "--reuid=firebird", "--regid=firebird", "--init-groups", kServer};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (int fd : {0, 1, 2}) posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
  // setpriv execs the server: the child's pid is the server's own.
  pid_t pid = -1;
  const int error = posix_spawnp(&pid, "setpriv", &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) throw std::runtime_error(std::string("cannot start the server: ") + std::strerror(error));
  pid_ = pid;
  for (int i = 0; i < 1000; ++i) {
    if (PortOpen(port_)) return;
    if (Exited(pid_)) {
      pid_ = -1;
      throw std::runtime_error("the private server ended at once (port " + std::to_string(port_) +
                               " taken? see /var/log/firebird)");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  Kill();
  throw std::runtime_error("the private server did not listen on port " + std::to_string(port_) + " within 10 s");
}

void PrivateFirebird::Kill() {
  if (!running()) return;
  kill(pid_, SIGKILL);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
  // The kernel closes the listening socket with the process; wait for it so
  // that a restart never races the old socket.
  for (int i = 0; i < 500 && PortOpen(port_); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

void PrivateFirebird::CreateCompanyDatabase(const std::string& hostFile) const {
  const std::string script = folder_ + "/create.sql";
  WriteText(script, "SET SQL DIALECT 3;\n"
                    "CREATE DATABASE '" + server().toStdString() + ":" + hostFile +
                        "' USER 'KELVARO' PASSWORD '83527146'\n"
                        "  PAGE_SIZE 4096 DEFAULT CHARACTER SET ISO8859_1;\n"
                        "INPUT '" KELVARO_SOURCE_DIR "/scripts/firebird/company_db.sql';\n");
  RunIsql(script, false, "creating a company database");
}

QList<QVariantList> PrivateFirebird::Rows(const std::string& hostFile, const QString& select) const {
  return dbtest::SelectRows(server() + QLatin1Char(':') + QString::fromStdString(hostFile), select);
}

}  // namespace reliability

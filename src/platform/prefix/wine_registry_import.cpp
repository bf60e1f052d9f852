#include "platform/prefix/wine_registry_import.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "platform/prefix/host_text.h"

extern char** environ;

namespace platform::prefix {
namespace {

String Quoted(const String& name) {
  String out = u"\"";
  for (char16_t c : name) {
    if (c == u'\\' || c == u'"') out.push_back(u'\\');
    out.push_back(c);
  }
  return out + u"\"";
}

String HexData(uint32_t type, const std::string& data) {
  char head[24];
  std::snprintf(head, sizeof head, "hex(%x):", type);
  String out = WindowsText(head);
  static const char16_t kDigits[] = u"0123456789abcdef";
  for (size_t i = 0; i < data.size(); ++i) {
    const auto byte = static_cast<unsigned char>(data[i]);
    if (i > 0) out.push_back(u',');
    out.push_back(kDigits[byte >> 4]);
    out.push_back(kDigits[byte & 15]);
  }
  return out;
}

// The temporary folder of this process, as Unix programs choose it: $TMPDIR
// when set, /tmp otherwise.
std::string TemporaryFolder() {
  const char* folder = std::getenv("TMPDIR");
  return folder && folder[0] == '/' ? folder : "/tmp";
}

// Writes text as UTF-16LE with a byte-order mark, as regedit saves a
// version 5 file, to a new file in the temporary folder; its host path in
// *path.
bool WriteRegFile(const String& text, std::string* path) {
  std::string name = TemporaryFolder() + "/kelvaro-reg-XXXXXX.reg";
  const int fd = mkstemps(name.data(), 4);
  if (fd < 0) return false;
  std::string bytes = "\xff\xfe";
  for (char16_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xff));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  const bool written = write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  close(fd);
  *path = name;
  return written;
}

// The environment of this process with WINEPREFIX naming the prefix and
// Wine's debug output off.
std::vector<std::string> ChildEnvironment(const std::string& prefixRoot) {
  std::vector<std::string> variables;
  for (char** entry = environ; *entry; ++entry) {
    const std::string variable = *entry;
    if (variable.rfind("WINEPREFIX=", 0) != 0 && variable.rfind("WINEDEBUG=", 0) != 0) variables.push_back(variable);
  }
  variables.push_back("WINEPREFIX=" + prefixRoot);
  variables.push_back("WINEDEBUG=-all");
  return variables;
}

// How one run of Wine's registry tool ended.
enum class Run { Imported, Refused, Failed };

// Runs `wine reg import file` once; the French cause of a failure in
// *reason. Refused: the tool ran and answered with an error.
Run RunImportOnce(const std::string& prefixRoot, const String& windowsFile, std::string* reason) {
  std::vector<std::string> args = {"wine", "reg", "import", HostText(windowsFile)};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::vector<std::string> variables = ChildEnvironment(prefixRoot);
  std::vector<char*> envp;
  for (std::string& variable : variables) envp.push_back(variable.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (int fd : {0, 1, 2}) posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, "wine", &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    *reason = "l'outil de registre de Wine est introuvable (Wine n'est pas installé)";
    return Run::Failed;
  }
  const auto deadline = std::chrono::steady_clock::now() + kImportTimeout;
  int status = 0;
  for (;;) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) {
      *reason = "l'outil de registre de Wine s'est perdu";
      return Run::Failed;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      *reason = "l'outil de registre de Wine ne répond pas";
      return Run::Failed;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return Run::Imported;
  *reason = "l'outil de registre de Wine a refusé la modification (code " +
            std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status)) + ")";
  return Run::Refused;
}

// Wine's start-up now and then fails to find its own registry tool: it says
// "Application could not be started" and exits with an error, about once in
// a few hundred runs here, and the same import run again goes through. A
// file of one change means the same imported twice (a key or value deleted
// that is already gone is no error to Wine), so a refusal is run again, a
// few times at most; a tool that is missing or hangs is not.
bool RunImport(const std::string& prefixRoot, const String& windowsFile, std::string* reason) {
  for (int attempt = 1;; ++attempt) {
    const Run run = RunImportOnce(prefixRoot, windowsFile, reason);
    if (run == Run::Imported) return true;
    if (run == Run::Failed || attempt == kImportAttempts) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

}  // namespace

String RegFileText(const RegistryChange& change) {
  const String root = change.localMachine ? u"HKEY_LOCAL_MACHINE" : u"HKEY_CURRENT_USER";
  const String key = change.key.empty() ? root : root + u"\\" + change.key;
  String text = u"Windows Registry Editor Version 5.00\r\n\r\n";
  if (change.kind == RegistryChange::DeleteKey) return text + u"[-" + key + u"]\r\n";
  text += u"[" + key + u"]\r\n";
  const String name = change.name.empty() ? u"@" : Quoted(change.name);
  if (change.kind == RegistryChange::SetValue) text += name + u"=" + HexData(change.type, change.data) + u"\r\n";
  if (change.kind == RegistryChange::DeleteValue) text += name + u"=-\r\n";
  return text;
}

uint32_t ImportIntoWine(const std::string& prefixRoot, const RegistryChange& change, std::string* reason) {
  std::string file;
  if (!WriteRegFile(RegFileText(change), &file)) {
    if (!file.empty()) unlink(file.c_str());
    *reason = "le fichier de registre à importer n'a pas pu être écrit";
    return kErrorAccessDenied;
  }
  // Wine opens the file by its Windows name, through the prefix's drives.
  const String windowsFile = FromNativePath(file);
  const bool imported = windowsFile.empty() ? false : RunImport(prefixRoot, windowsFile, reason);
  if (windowsFile.empty()) *reason = "aucun lecteur du préfixe ne mène au fichier de registre à importer";
  unlink(file.c_str());
  return imported ? kErrorSuccess : kErrorAccessDenied;
}

}  // namespace platform::prefix

// Who and where: computer and user names, session, Windows version, read
// where Wine keeps them, with the host's own answers when the prefix has none.
//
// Sessions: Windows gives the console user of a workstation session 1 and
// every process of that log-on the same number. A Linux machine running the
// program under Wine has no such numbering, so every process of this machine
// is in session 1; an unknown process id fails with kErrorInvalidParameter,
// as ProcessIdToSessionId does. A log-on through SSH plays the part of a
// Remote Desktop session.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/prefix/host_text.h"
#include "platform/prefix/win32_errors.h"
#include "platform/prefix/wine_settings.h"
#include "platform/system.h"

namespace platform {

using namespace prefix;

namespace {

constexpr size_t kMaxComputerName = 15;
constexpr uint32_t kConsoleSession = 1;

// Wine's rule: the host name up to its first dot, in upper case.
String HostComputerName() {
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0) return u"LOCALHOST";
  std::string name = host;
  name = name.substr(0, name.find('.'));
  return UpperCaseName(WindowsText(name));
}

std::string UnixUser() {
  if (const passwd* pw = getpwuid(geteuid())) return pw->pw_name;
  if (const char* user = std::getenv("USER"); user && *user) return user;
  return {};
}

uint32_t ParseNumber(const String& text, size_t* position) {
  uint32_t value = 0;
  while (*position < text.size() && text[*position] >= u'0' && text[*position] <= u'9') {
    value = value * 10 + (text[(*position)++] - u'0');
  }
  return value;
}

}  // namespace

bool GetComputerName(String* name) {
  String stored;
  if (!ReadSettingString(RegistryRoot::LocalMachine, u"System\\CurrentControlSet\\Control\\ComputerName\\ComputerName",
                         u"ComputerName", &stored) ||
      stored.empty()) {
    stored = HostComputerName();
  }
  *name = stored.substr(0, kMaxComputerName);
  return true;
}

bool GetUserName(String* name) {
  String stored;
  if (ReadSettingString(RegistryRoot::CurrentUser, u"Volatile Environment", u"USERNAME", &stored) && !stored.empty()) {
    *name = stored;
    return true;
  }
  const std::string user = UnixUser();
  if (user.empty()) return Fail(kErrorNotLoggedOn);
  *name = WindowsText(user);
  return true;
}

bool ProcessIdToSessionId(uint32_t processId, uint32_t* sessionId) {
  struct stat st;
  const std::string proc = "/proc/" + std::to_string(processId);
  if (stat(proc.c_str(), &st) != 0) return Fail(kErrorInvalidParameter);
  *sessionId = kConsoleSession;
  return true;
}

uint32_t GetCurrentProcessId() { return static_cast<uint32_t>(getpid()); }

bool IsRemoteSession() {
  const char* connection = std::getenv("SSH_CONNECTION");
  return connection && *connection;
}

WindowsVersion GetWindowsVersion() {
  const String key = u"Software\\Microsoft\\Windows NT\\CurrentVersion";
  WindowsVersion version;
  version.major = 10;
  version.minor = 0;
  uint32_t major = 0;
  uint32_t minor = 0;
  String text;
  if (ReadSettingDword(RegistryRoot::LocalMachine, key, u"CurrentMajorVersionNumber", &major)) {
    version.major = major;
    version.minor = ReadSettingDword(RegistryRoot::LocalMachine, key, u"CurrentMinorVersionNumber", &minor) ? minor : 0;
  } else if (ReadSettingString(RegistryRoot::LocalMachine, key, u"CurrentVersion", &text)) {
    size_t position = 0;
    const uint32_t parsedMajor = ParseNumber(text, &position);
    if (position > 0 && position < text.size() && text[position] == u'.') {
      ++position;
      version.major = parsedMajor;
      version.minor = ParseNumber(text, &position);
    }
  }
  if (ReadSettingString(RegistryRoot::LocalMachine, key, u"CurrentBuildNumber", &text)) {
    size_t position = 0;
    version.build = ParseNumber(text, &position);
  }
  return version;
}

}  // namespace platform

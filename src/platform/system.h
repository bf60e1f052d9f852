// Who and where this program runs: identity of the workstation and the
// session, the Windows version, system error texts and the single-instance
// lock.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/win_types.h"

namespace platform {

// GetComputerNameW: false and last error set on failure (kErrorNotLoggedOn
// where nobody is logged on); the name fits 15 characters.
bool GetComputerName(String* name);
// GetUserNameW: the user of the calling thread.
bool GetUserName(String* name);
// ProcessIdToSessionId for a process of this machine; false with
// kErrorInvalidParameter for a process that does not exist. Over a Wine
// prefix every process is in session 1, the console session of a
// workstation.
bool ProcessIdToSessionId(uint32_t processId, uint32_t* sessionId);
uint32_t GetCurrentProcessId();
// GetSystemMetrics(SM_REMOTESESSION) != 0. Over a Wine prefix: a log-on
// through SSH (SSH_CONNECTION set) stands for a Remote Desktop session.
bool IsRemoteSession();
// True when standard error is an interactive console (a terminal over a
// prefix), where a status line may be rewritten in place; false when it goes
// to a file, a pipe or nowhere.
bool StandardErrorIsConsole();

struct WindowsVersion {
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;
  bool ntFamily = true;
};
WindowsVersion GetWindowsVersion();

// FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM) of code, as the French system
// gives it, line break included; empty when the system has no text.
String FormatSystemMessage(uint32_t code);

// Whether the installation this program changes belongs to the user it runs
// as. Over a Wine prefix: the owner of the prefix folder, as Wine itself
// insists (it refuses to start in a prefix that is "not owned by you");
// a prefix that does not exist yet belongs to nobody and passes. On Windows
// the system's access control decides, so every installation passes.
struct InstallationOwnership {
  bool ours = true;
  String location;  // the prefix folder, as the host names it
  String owner;     // its owner's user name (the user id when it has none)
};
InstallationOwnership GetInstallationOwnership();

// A lock named after the application that the system releases when the
// process ends, however it ends. It is scoped to one installation: the
// user's logon session on Windows (a named semaphore), the prefix and the
// user over a Wine prefix (an abstract Unix socket named after the user id,
// the prefix's folder and the name, which programs started by this one do
// not inherit), as Wine scopes named objects to the prefix's wineserver.
// Names compare exactly, as object names do. Holding the returned object
// keeps the lock.
class InstanceLock {
 public:
  virtual ~InstanceLock() = default;
  // True when another process of this user in this installation already
  // held the name when the lock was created (ERROR_ALREADY_EXISTS).
  virtual bool alreadyExists() const = 0;
};
// Null with last error set when the lock cannot be created at all.
std::unique_ptr<InstanceLock> CreateInstanceLock(const String& name);

}  // namespace platform

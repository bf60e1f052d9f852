// Identity, version, system messages and the single-instance semaphore on the
// Windows API.
#include "platform/win32/windows_api.h"

#include "platform/system.h"
#include "platform/win32/wide.h"

namespace platform {

using win32::U;
using win32::W;

bool GetComputerName(String* name) {
  wchar_t buffer[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  if (!::GetComputerNameW(buffer, &size)) return false;
  *name = String(buffer, buffer + size);
  return true;
}

bool GetUserName(String* name) {
  wchar_t buffer[257];
  DWORD size = 257;
  if (!::GetUserNameW(buffer, &size)) return false;
  *name = U(buffer);
  return true;
}

bool ProcessIdToSessionId(uint32_t processId, uint32_t* sessionId) {
  DWORD session = 0;
  if (!::ProcessIdToSessionId(processId, &session)) return false;
  *sessionId = session;
  return true;
}

uint32_t GetCurrentProcessId() { return ::GetCurrentProcessId(); }

bool IsRemoteSession() { return ::GetSystemMetrics(SM_REMOTESESSION) != 0; }

bool StandardErrorIsConsole() {
  // GetConsoleMode succeeds on console handles only, not on files or pipes.
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

// Windows checks every access against the installation's own rights.
InstallationOwnership GetInstallationOwnership() { return {}; }

WindowsVersion GetWindowsVersion() {
  // GetVersionExW lies to programs without a manifest; ntdll's RtlGetVersion
  // tells the truth.
  using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
  WindowsVersion version;
  OSVERSIONINFOW info = {};
  info.dwOSVersionInfoSize = sizeof info;
  auto rtlGetVersion = reinterpret_cast<RtlGetVersionFunction>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
  if (rtlGetVersion && rtlGetVersion(&info) == 0) {
    version.major = info.dwMajorVersion;
    version.minor = info.dwMinorVersion;
    version.build = info.dwBuildNumber;
    version.ntFamily = info.dwPlatformId == VER_PLATFORM_WIN32_NT;
  }
  return version;
}

String FormatSystemMessage(uint32_t code) {
  wchar_t buffer[512];
  const DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                        0, buffer, 512, nullptr);
  return length ? String(buffer, buffer + length) : String();
}

namespace {

class SemaphoreLock : public InstanceLock {
 public:
  SemaphoreLock(HANDLE handle, bool existed) : handle_(handle), existed_(existed) {}
  ~SemaphoreLock() override { ::CloseHandle(handle_); }
  bool alreadyExists() const override { return existed_; }

 private:
  HANDLE handle_;
  bool existed_;
};

}  // namespace

std::unique_ptr<InstanceLock> CreateInstanceLock(const String& name) {
  HANDLE handle = ::CreateSemaphoreW(nullptr, 0, 1, W(name).c_str());
  if (!handle) return nullptr;
  return std::make_unique<SemaphoreLock>(handle, ::GetLastError() == ERROR_ALREADY_EXISTS);
}

}  // namespace platform

// What a killed writer leaves, its "~kvtmp<pid>-<n>" file beside the file it
// was replacing, goes at the next replacement in that folder; the temporary
// file of a process that still runs, and every other file, stays. Processes
// are real: children of this test, started suspended so they never run.
#include "platform/win32/windows_api.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/conformance.h"
#include "platform/files.h"

namespace {

using platform::String;

String Digits(uint64_t n) {
  String out;
  for (char c : std::to_string(n)) out.push_back(char16_t(c));
  return out;
}

String Temporary(DWORD pid, unsigned n) { return u"~kvtmp" + Digits(pid) + u"-" + Digits(n); }

// A process that exists until kill(): this executable, started suspended.
class ChildProcess {
 public:
  ChildProcess() {
    std::wstring self(32768, L'\0');
    self.resize(::GetModuleFileNameW(nullptr, self.data(), DWORD(self.size())));
    std::wstring commandLine = L"\"" + self + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    if (!::CreateProcessW(self.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                          nullptr, &startup, &info_)) {
      ADD_FAILURE() << "CreateProcessW: error " << ::GetLastError();
    }
  }
  ~ChildProcess() { kill(); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  DWORD pid() const { return info_.dwProcessId; }

  // Ends the process and lets go of it, so that its id names no process.
  void kill() {
    if (!info_.hProcess) return;
    ::TerminateProcess(info_.hProcess, 1);
    ::WaitForSingleObject(info_.hProcess, 10000);
    ::CloseHandle(info_.hThread);
    ::CloseHandle(info_.hProcess);
    info_.hProcess = info_.hThread = nullptr;
  }

 private:
  PROCESS_INFORMATION info_ = {};
};

bool NamesAProcess(DWORD pid) {
  HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (process) ::CloseHandle(process);
  return process != nullptr || ::GetLastError() != ERROR_INVALID_PARAMETER;
}

// The id of a process that was killed. The system lets go of a
// process some time after it ends (Wine a few hundred milliseconds later):
// until then its id still opens, and its files count as a live writer's.
DWORD KilledProcessId() {
  ChildProcess child;
  const DWORD pid = child.pid();
  child.kill();
  for (int wait = 0; wait < 200 && NamesAProcess(pid); ++wait) ::Sleep(50);
  EXPECT_FALSE(NamesAProcess(pid)) << "process " << pid << " still exists 10 s after it was killed";
  return pid;
}

// Far beyond any process id either system gives out.
constexpr DWORD kNoSuchProcess = 0xFFFFFFF0;

class AbandonedTemporaryTest : public conformance::ConformanceTest {
 protected:
  void SetUp() override {
    ConformanceTest::SetUp();
    ASSERT_TRUE(platform::CreateDirectoryTree(folder()));
  }

  // Where the replacements happen; the source of a copy lies outside it.
  String folder() const { return inSandbox(u"Prog\\"); }

  // Makes a file in folder() directly, as a killed writer leaves it.
  void leave(const String& name) {
    HANDLE file = ::CreateFileW(win32Path(folder() + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << conformance::Utf8(name) << ": error " << ::GetLastError();
    DWORD written = 0;
    ::WriteFile(file, "part", 4, &written, nullptr);
    ::CloseHandle(file);
  }

  std::vector<String> namesInFolder() const {
    std::vector<String> names;
    for (const auto& entry : platform::FindFiles(folder(), u"*")) names.push_back(entry.name);
    std::sort(names.begin(), names.end());
    return names;
  }

  static std::wstring win32Path(const String& path) { return std::wstring(path.begin(), path.end()); }
};

TEST_F(AbandonedTemporaryTest, ACopyIntoTheFolderRemovesOnlyTheFilesOfGoneWriters) {
  writeFile(inSandbox(u"Torvida.chm"), "help");
  ChildProcess atWork;
  const DWORD killed = KilledProcessId();

  const struct {
    const char* what;
    String name;
    bool stays;
  } cases[] = {
      {"a killed writer's", Temporary(killed, 0), false},
      {"a killed writer's later one", Temporary(killed, 17), false},
      {"an id no process has", Temporary(kNoSuchProcess, 3), false},
      {"a writer still at work", Temporary(atWork.pid(), 0), true},
      // Also the names this process picks next: an ended process with the
      // same id left them, and the copy must neither remove nor trip on them.
      {"this process's", Temporary(::GetCurrentProcessId(), 0), true},
      {"this process's next", Temporary(::GetCurrentProcessId(), 1), true},
      {"this process's after next", Temporary(::GetCurrentProcessId(), 2), true},
      {"no process id", u"~kvtmp-notes.txt", true},
      {"more after the counter", Temporary(killed, 1) + u".bak", true},
      {"no tilde", u"kvtmp" + Digits(killed) + u"-0", true},
      {"another file", u"Torvida.hlp", true},
  };
  std::vector<String> staying = {u"WKTorvida2.dll"};
  for (const auto& c : cases) {
    leave(c.name);
    if (c.stays) staying.push_back(c.name);
  }
  std::sort(staying.begin(), staying.end());

  ASSERT_TRUE(platform::CopyFile(inSandbox(u"Torvida.chm"), folder() + u"WKTorvida2.dll", false))
      << "error " << platform::GetLastError();
  EXPECT_EQ(readFile(folder() + u"WKTorvida2.dll"), "help");
  const std::vector<String> left = namesInFolder();
  for (const auto& c : cases) {
    const bool found = std::find(left.begin(), left.end(), c.name) != left.end();
    EXPECT_EQ(found, c.stays) << c.what << ": " << conformance::Utf8(c.name);
  }
  EXPECT_EQ(left, staying);
}

TEST_F(AbandonedTemporaryTest, OneStillOpenStaysUntilTheNextWriteAfterItIsClosed) {
  const String name = Temporary(kNoSuchProcess, 0);
  leave(name);
  // Open without FILE_SHARE_DELETE, as a writer holds its temporary file.
  HANDLE held = ::CreateFileW(win32Path(folder() + name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE) << "error " << ::GetLastError();

  ASSERT_TRUE(platform::WriteFileContents(folder() + u"Torvida.ini", "[Torvida]\r\n"))
      << "error " << platform::GetLastError();
  EXPECT_EQ(namesInFolder(), (std::vector<String>{u"Torvida.ini", name}));

  ::CloseHandle(held);
  platform::FileWriter writer;
  ASSERT_TRUE(writer.Open(folder() + u"Torvida.ini")) << "error " << platform::GetLastError();
  const std::string contents = "[Torvida]\r\nVersion=2\r\n";
  ASSERT_TRUE(writer.Write(contents.data(), contents.size()));
  ASSERT_TRUE(writer.Commit()) << "error " << platform::GetLastError();
  EXPECT_EQ(namesInFolder(), std::vector<String>{u"Torvida.ini"});
  EXPECT_EQ(readFile(folder() + u"Torvida.ini"), contents);
}

}  // namespace

// Files, folders and drives on the Windows API.
#include "platform/win32/windows_api.h"

#include <atomic>

#include "platform/files.h"
#include "platform/win32/wide.h"

namespace platform {

using win32::FolderOf;
using win32::U;
using win32::W;

std::vector<String> GetLogicalDriveStrings() {
  wchar_t buffer[255];
  const DWORD length = ::GetLogicalDriveStringsW(255, buffer);
  std::vector<String> roots;
  for (DWORD i = 0; i < length && buffer[i]; i += DWORD(wcslen(buffer + i)) + 1) roots.push_back(U(buffer + i));
  return roots;
}

uint32_t GetDriveType(const String& root) { return ::GetDriveTypeW(W(root).c_str()); }

String GetWindowsDirectory() {
  wchar_t buffer[MAX_PATH];
  const UINT length = ::GetWindowsDirectoryW(buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return U(buffer);
}

String GetTempPath() {
  wchar_t buffer[MAX_PATH + 1];
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
  if (length == 0 || length > MAX_PATH) return {};
  ::CreateDirectoryW(buffer, nullptr);
  return U(buffer);
}

String GetModuleFileName() {
  wchar_t buffer[32768];
  const DWORD length = ::GetModuleFileNameW(nullptr, buffer, 32768);
  return length ? String(buffer, buffer + length) : String();
}

namespace {

// Wine answers ERROR_FILE_NOT_FOUND for a path on a drive letter that does
// not exist, where Windows answers ERROR_PATH_NOT_FOUND: callers tell "no such
// file" from "no such place" by that code, so give Windows' answer. On Windows
// itself the drive check never changes anything.
void NameMissingDrive(const String& path) {
  if (::GetLastError() != ERROR_FILE_NOT_FOUND || path.size() < 2 || path[1] != u':') return;
  const std::wstring root{wchar_t(path[0]), L':', L'\\'};
  // GetDriveTypeW may change the last error even when it succeeds.
  const UINT type = ::GetDriveTypeW(root.c_str());
  ::SetLastError(type == DRIVE_NO_ROOT_DIR ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND);
}

// Windows refuses to write, replace or rename over a read-only file. Wine run
// as root opens such a file for writing all the same (root ignores the
// permission bits Wine keeps the read-only flag in), so the flag is checked
// here rather than left to CreateFileW and MoveFileExW.
bool IsReadOnlyFile(const String& path) {
  const DWORD a = ::GetFileAttributesW(W(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY) && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

// Volume and file index of an existing file or folder; false when it cannot
// be opened. Two names of one file (letter case, "." and "..") give the same.
bool FileIdentity(const String& path, BY_HANDLE_FILE_INFORMATION* info) {
  HANDLE file = ::CreateFileW(W(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const BOOL ok = ::GetFileInformationByHandle(file, info);
  ::CloseHandle(file);
  return ok != 0;
}

bool SameFile(const String& a, const String& b) {
  BY_HANDLE_FILE_INFORMATION first, second;
  if (!FileIdentity(a, &first) || !FileIdentity(b, &second)) return false;
  return first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

// Two spellings of one path that differ at most in letter case.
bool SamePathIgnoringCase(const String& a, const String& b) {
  wchar_t first[MAX_PATH * 4], second[MAX_PATH * 4];
  const DWORD n = ::GetFullPathNameW(W(a).c_str(), MAX_PATH * 4, first, nullptr);
  const DWORD m = ::GetFullPathNameW(W(b).c_str(), MAX_PATH * 4, second, nullptr);
  if (n == 0 || m == 0 || n >= MAX_PATH * 4 || m >= MAX_PATH * 4) return false;
  return ::CompareStringOrdinal(first, int(n), second, int(m), TRUE) == CSTR_EQUAL;
}

}  // namespace

uint32_t GetFileAttributes(const String& path) {
  const DWORD attributes = ::GetFileAttributesW(W(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) NameMissingDrive(path);
  return attributes;
}

bool SetFileAttributes(const String& path, uint32_t attributes) {
  return ::SetFileAttributesW(W(path).c_str(), attributes) != 0;
}

bool FileExists(const String& path) {
  const DWORD a = ::GetFileAttributesW(W(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const String& path) {
  const DWORD a = ::GetFileAttributesW(W(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

namespace {

// Every replacement writes its bytes to "~kvtmp<pid>-<n>" beside its target.
// A killed process leaves that file behind; the next replacement in the same
// folder removes it once no process with that id runs any more.
constexpr wchar_t kTemporaryStem[] = L"~kvtmp";
// The name a file takes for a moment while only its letter case changes. It
// holds the file itself, not a copy, so it must never look like a leftover.
constexpr wchar_t kRenameStem[] = L"~kvren";

String NameBeside(const String& path, const wchar_t* stem) {
  static std::atomic<unsigned> counter{0};
  const std::wstring name = stem + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(counter++);
  return FolderOf(path) + U(name);
}

// The process id in a name made by NameBeside with kTemporaryStem; 0 for any
// other name, which the clean-up then leaves alone.
DWORD WriterOfTemporary(const wchar_t* name) {
  const size_t stemLength = wcslen(kTemporaryStem);
  if (wcsncmp(name, kTemporaryStem, stemLength) != 0) return 0;
  const wchar_t* digits = name + stemLength;
  const wchar_t* p = digits;
  uint64_t pid = 0;
  while (*p >= L'0' && *p <= L'9' && pid <= 0xFFFFFFFF) pid = pid * 10 + uint64_t(*p++ - L'0');
  if (p == digits || *p != L'-' || pid > 0xFFFFFFFF) return 0;
  const wchar_t* counter = ++p;
  while (*p >= L'0' && *p <= L'9') ++p;
  return p == counter || *p != L'\0' ? 0 : DWORD(pid);
}

// Only "no such process" counts: a process that runs but may not be opened
// (access denied) is still at work. An id given again to a new process keeps
// a leftover until that one ends too, which is the safe direction.
bool WriterGone(DWORD pid) {
  HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (process) {
    ::CloseHandle(process);
    return false;
  }
  return ::GetLastError() == ERROR_INVALID_PARAMETER;
}

// Deletes the temporary files in folder whose writer is gone. One that cannot
// be deleted (still open, read-only) stays; the caller's last error is kept.
void RemoveAbandonedTemporaries(const String& folder) {
  const DWORD callersError = ::GetLastError();
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileW((W(folder) + kTemporaryStem + L"*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      const DWORD pid = WriterOfTemporary(data.cFileName);
      if (pid != 0 && WriterGone(pid)) ::DeleteFileW((W(folder) + data.cFileName).c_str());
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
  }
  ::SetLastError(callersError);
}

// Makes the temporary file for a replacement of target with create(name),
// after clearing what killed writers left in its folder. A name already taken
// (left by an ended process that had this process's id) is passed over. On
// failure nothing of this call is left and the last error is create's.
template <typename Create>
bool CreateTemporaryBeside(const String& target, String* temporary, Create create) {
  RemoveAbandonedTemporaries(FolderOf(target));
  for (int attempt = 0; attempt < 100; ++attempt) {
    *temporary = NameBeside(target, kTemporaryStem);
    if (create(*temporary)) return true;
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
      ::DeleteFileW(W(*temporary).c_str());  // what a failed copy may have written
      ::SetLastError(error);
      break;
    }
  }
  temporary->clear();
  return false;
}

// A file another process holds open cannot be replaced: say so as Windows
// says it for an exclusive open.
bool RefuseWhenInUse(const String& target) {
  const uint32_t code = TryOpenExclusive(target);
  if (code == kErrorSharingViolation || code == kErrorLockViolation) {
    ::SetLastError(kErrorSharingViolation);
    return true;
  }
  return false;
}

bool ReplaceWith(const String& temporary, const String& target) {
  if (::MoveFileExW(W(temporary).c_str(), W(target).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  const DWORD error = ::GetLastError();
  ::DeleteFileW(W(temporary).c_str());
  ::SetLastError(error);
  return false;
}

}  // namespace

bool CopyFile(const String& source, const String& target, bool failIfExists) {
  const DWORD existing = ::GetFileAttributesW(W(target).c_str());
  if (existing != INVALID_FILE_ATTRIBUTES) {
    // CopyFileW cannot open a file twice, for reading and for replacing.
    if (SameFile(source, target)) {
      ::SetLastError(ERROR_SHARING_VIOLATION);
      return false;
    }
    if (failIfExists) {
      ::SetLastError(ERROR_FILE_EXISTS);
      return false;
    }
    if (existing & FILE_ATTRIBUTE_READONLY) {
      ::SetLastError(ERROR_ACCESS_DENIED);
      return false;
    }
    if (RefuseWhenInUse(target)) return false;
  }
  String temporary;
  const auto copy = [&](const String& name) { return ::CopyFileW(W(source).c_str(), W(name).c_str(), TRUE) != 0; };
  if (!CreateTemporaryBeside(target, &temporary, copy)) {
    NameMissingDrive(source);
    NameMissingDrive(target);
    return false;
  }
  return ReplaceWith(temporary, target);
}

bool MoveFileReplace(const String& source, const String& target) {
  const std::wstring from = W(source), to = W(target);
  if (SamePathIgnoringCase(source, target) && SameFile(source, target)) {
    // Only the letter case changes. Wine resolves the new name to the file
    // itself and keeps the old spelling; going through a temporary name gives
    // the new case on every file system.
    const String temporary = NameBeside(source, kRenameStem);
    if (!::MoveFileExW(from.c_str(), W(temporary).c_str(), 0)) return false;
    if (::MoveFileExW(W(temporary).c_str(), to.c_str(), 0)) return true;
    const DWORD error = ::GetLastError();
    ::MoveFileExW(W(temporary).c_str(), from.c_str(), 0);
    ::SetLastError(error);
    return false;
  }
  if (FileExists(target)) {
    if (IsReadOnlyFile(target)) {
      ::SetLastError(ERROR_ACCESS_DENIED);
      return false;
    }
    if (RefuseWhenInUse(target)) return false;
  }
  if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
  NameMissingDrive(source);
  NameMissingDrive(target);
  return false;
}

bool DeleteFile(const String& path) { return ::DeleteFileW(W(path).c_str()) != 0; }

bool DeleteFilesByMask(const String& folder, const String& mask) {
  String from = folder;
  if (!from.empty() && from.back() != u'\\') from.push_back(u'\\');
  from += mask;
  from.push_back(u'\0');  // the shell takes a list ended by an extra NUL
  const std::wstring list = W(from) + L'\0';
  SHFILEOPSTRUCTW operation = {};
  operation.wFunc = FO_DELETE;
  operation.pFrom = list.c_str();
  operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_FILESONLY;
  const int result = ::SHFileOperationW(&operation);
  // No match at all is not a failure of the clean-up.
  if (result == 0 || result == ERROR_FILE_NOT_FOUND || result == 0x402) return true;
  return FindFiles(folder, mask).empty();
}

bool CreateDirectoryTree(const String& path) {
  if (DirectoryExists(path)) return true;
  String trimmed = path;
  while (trimmed.size() > 3 && (trimmed.back() == u'\\' || trimmed.back() == u'/')) trimmed.pop_back();
  const String parent = FolderOf(trimmed);
  if (!parent.empty() && parent.size() < trimmed.size() && !DirectoryExists(parent) && !CreateDirectoryTree(parent)) {
    return false;
  }
  if (::CreateDirectoryW(W(trimmed).c_str(), nullptr)) return true;
  return ::GetLastError() == ERROR_ALREADY_EXISTS && DirectoryExists(trimmed);
}

bool RemoveDirectory(const String& path) { return ::RemoveDirectoryW(W(path).c_str()) != 0; }

std::vector<FindData> FindFiles(const String& folder, const String& mask) {
  std::vector<FindData> found;
  String pattern = folder;
  if (!pattern.empty() && pattern.back() != u'\\') pattern.push_back(u'\\');
  pattern += mask;
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileW(W(pattern).c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return found;
  do {
    const String name = U(data.cFileName);
    if (name == u"." || name == u"..") continue;
    found.push_back({name, data.dwFileAttributes, (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
                     win32::FromFiletime(data.ftLastWriteTime)});
  } while (::FindNextFileW(find, &data));
  ::FindClose(find);
  ::SetLastError(ERROR_SUCCESS);
  return found;
}

bool GetFileLastWriteTime(const String& path, FileTime* time) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExW(W(path).c_str(), GetFileExInfoStandard, &data)) return false;
  *time = win32::FromFiletime(data.ftLastWriteTime);
  return true;
}

bool SetFileLastWriteTime(const String& path, FileTime time) {
  HANDLE file = ::CreateFileW(W(path).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const FILETIME stamp = win32::ToFiletime(time);
  const BOOL ok = ::SetFileTime(file, nullptr, nullptr, &stamp);
  const DWORD error = ::GetLastError();
  ::CloseHandle(file);
  ::SetLastError(ok ? ERROR_SUCCESS : error);
  return ok != 0;
}

uint32_t TryOpenExclusive(const String& path) {
  if (IsReadOnlyFile(path)) return kErrorAccessDenied;
  HANDLE file = ::CreateFileW(W(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    NameMissingDrive(path);
    return ::GetLastError();
  }
  ::CloseHandle(file);
  return kErrorSuccess;
}

bool ReadFileContents(const String& path, std::string* bytes) {
  HANDLE file = ::CreateFileW(W(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    NameMissingDrive(path);
    return false;
  }
  bytes->clear();
  char buffer[65536];
  DWORD got = 0;
  bool ok = true;
  while ((ok = ::ReadFile(file, buffer, sizeof buffer, &got, nullptr) != 0) && got > 0) bytes->append(buffer, got);
  const DWORD error = ::GetLastError();
  ::CloseHandle(file);
  ::SetLastError(ok ? ERROR_SUCCESS : error);
  return ok;
}

bool WriteFileContents(const String& path, const std::string& bytes) {
  FileWriter writer;
  return writer.Open(path) && writer.Write(bytes.data(), bytes.size()) && writer.Commit();
}

struct FileWriter::Impl {
  HANDLE file = INVALID_HANDLE_VALUE;
  String temporary;
  String target;
};

FileWriter::FileWriter() : impl_(new Impl) {}

FileWriter::~FileWriter() {
  Abandon();
  delete impl_;
}

bool FileWriter::Open(const String& path) {
  Abandon();
  const DWORD existing = ::GetFileAttributesW(W(path).c_str());
  if (existing != INVALID_FILE_ATTRIBUTES) {
    if (existing & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) {
      ::SetLastError(ERROR_ACCESS_DENIED);
      return false;
    }
    if (RefuseWhenInUse(path)) return false;
  }
  impl_->target = path;
  // Not shared for deletion: while it is written, another process's clean-up
  // cannot remove the file even if it took this process for gone.
  const auto create = [this](const String& name) {
    impl_->file = ::CreateFileW(W(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    return impl_->file != INVALID_HANDLE_VALUE;
  };
  if (CreateTemporaryBeside(path, &impl_->temporary, create)) return true;
  NameMissingDrive(path);
  return false;
}

bool FileWriter::Write(const void* data, size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    DWORD written = 0;
    const DWORD chunk = size > (1u << 30) ? (1u << 30) : DWORD(size);
    if (!::WriteFile(impl_->file, bytes, chunk, &written, nullptr)) return false;
    bytes += written;
    size -= written;
  }
  return true;
}

bool FileWriter::Commit() {
  if (impl_->file == INVALID_HANDLE_VALUE) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  const BOOL flushed = ::FlushFileBuffers(impl_->file);
  ::CloseHandle(impl_->file);
  impl_->file = INVALID_HANDLE_VALUE;
  if (!flushed) {
    const DWORD error = ::GetLastError();
    ::DeleteFileW(W(impl_->temporary).c_str());
    ::SetLastError(error);
    return false;
  }
  const bool replaced = ReplaceWith(impl_->temporary, impl_->target);
  impl_->temporary.clear();
  return replaced;
}

void FileWriter::Abandon() {
  if (impl_->file != INVALID_HANDLE_VALUE) {
    ::CloseHandle(impl_->file);
    impl_->file = INVALID_HANDLE_VALUE;
  }
  if (!impl_->temporary.empty()) {
    ::DeleteFileW(W(impl_->temporary).c_str());
    impl_->temporary.clear();
  }
}

bool FileWriter::isOpen() const { return impl_->file != INVALID_HANDLE_VALUE; }

std::string ToNativePath(const String& windowsPath) {
  const std::wstring wide = W(windowsPath);
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(size_t(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), utf8.data(), size, nullptr, nullptr);
  return utf8;
}

String FromNativePath(const std::string& nativePath) {
  const int size = ::MultiByteToWideChar(CP_UTF8, 0, nativePath.data(), int(nativePath.size()), nullptr, 0);
  std::wstring wide(size_t(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, nativePath.data(), int(nativePath.size()), wide.data(), size);
  return U(wide);
}

}  // namespace platform

namespace platform {

bool KeepFile(const String& path, const String& kept, uint32_t* mode) {
  const DWORD attributes = ::GetFileAttributesW(W(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  ::DeleteFileW(W(kept).c_str());
  if (!::CreateHardLinkW(W(kept).c_str(), W(path).c_str(), nullptr)) return false;
  *mode = attributes;
  return true;
}

bool PutBackFile(const String& kept, const String& path, uint32_t mode) {
  ::SetFileAttributesW(W(path).c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!::MoveFileExW(W(kept).c_str(), W(path).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return false;
  }
  return ::SetFileAttributesW(W(path).c_str(), mode) != 0;
}

bool AppendFileDurably(const String& path, const std::string& bytes) {
  const HANDLE file = ::CreateFileW(W(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = ::WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size() &&
            ::FlushFileBuffers(file);
  const DWORD error = ::GetLastError();
  ::CloseHandle(file);
  if (!ok) ::SetLastError(error);
  return ok;
}

// NTFS makes a folder's names durable with the operations themselves.
bool FlushFolder(const String& folder) { return ::GetFileAttributesW(W(folder).c_str()) != INVALID_FILE_ATTRIBUTES; }

bool FileIsOurs(const String&, String* owner) {
  owner->clear();
  return true;
}

}  // namespace platform

// Looking at files: attributes, existence, times, listings, exclusive opens.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "platform/files.h"
#include "platform/prefix/host_files.h"
#include "platform/prefix/host_text.h"
#include "platform/prefix/in_use.h"
#include "platform/prefix/prefix.h"
#include "platform/prefix/win32_errors.h"

namespace platform {

using namespace prefix;

uint32_t GetFileAttributes(const String& path) {
  std::string host;
  struct stat st;
  if (!ResolveExisting(path, &host, &st)) return kInvalidFileAttributes;
  return AttributesOf(st, NameOf(host));
}

bool SetFileAttributes(const String& path, uint32_t attributes) {
  std::string host;
  struct stat st;
  if (!ResolveExisting(path, &host, &st)) return false;
  // Only the read-only attribute has a host counterpart; Wine ignores it on
  // folders, and so does this.
  if (S_ISDIR(st.st_mode)) return true;
  mode_t mode = st.st_mode & 07777;
  if (attributes & kAttributeReadOnly) mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
  else if (IsReadOnlyMode(mode)) mode |= S_IWUSR;
  if (mode != (st.st_mode & 07777) && chmod(host.c_str(), mode) != 0) return FailErrno(errno, host);
  return true;
}

bool FileExists(const String& path) {
  std::string host;
  struct stat st;
  if (!ResolveExisting(path, &host, &st)) return false;
  if (S_ISDIR(st.st_mode)) return Fail(kErrorFileNotFound);
  return true;
}

bool DirectoryExists(const String& path) {
  std::string host;
  struct stat st;
  if (!ResolveExisting(path, &host, &st)) return false;
  if (!S_ISDIR(st.st_mode)) return Fail(kErrorDirectory);
  return true;
}

std::vector<FindData> FindFiles(const String& folder, const String& mask) {
  std::vector<FindData> found;
  std::string host;
  if (!ResolveFolder(folder, &host)) return found;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(host.c_str()), closedir);
  if (!dir) {
    FailErrno(errno, host + "/");
    return found;
  }
  while (const dirent* entry = readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    const String windowsName = WindowsText(name);
    if (!MatchesMask(windowsName, mask)) continue;
    struct stat entryStatus;
    // A link whose target is gone is no file Windows would list.
    if (fstatat(dirfd(dir.get()), name.c_str(), &entryStatus, 0) != 0) continue;
    FindData data;
    data.name = windowsName;
    data.attributes = AttributesOf(entryStatus, name);
    data.size = S_ISDIR(entryStatus.st_mode) ? 0 : static_cast<uint64_t>(entryStatus.st_size);
    data.lastWriteTime = FileTimeOf(entryStatus.st_mtim);
    found.push_back(std::move(data));
  }
  // The order NTFS lists a folder in: by name, letter case ignored.
  std::sort(found.begin(), found.end(),
            [](const FindData& a, const FindData& b) { return UpperCaseName(a.name) < UpperCaseName(b.name); });
  SetLastError(found.empty() ? kErrorFileNotFound : kErrorSuccess);
  return found;
}

bool GetFileLastWriteTime(const String& path, FileTime* time) {
  std::string host;
  struct stat st;
  if (!ResolveExisting(path, &host, &st)) return false;
  *time = FileTimeOf(st.st_mtim);
  return true;
}

bool SetFileLastWriteTime(const String& path, FileTime time) {
  std::string host;
  if (!ResolvePath(path, &host)) return false;
  const struct timespec times[2] = {{0, UTIME_OMIT}, TimespecOf(time)};
  if (utimensat(AT_FDCWD, host.c_str(), times, 0) != 0) return FailErrno(errno, host);
  return true;
}

uint32_t TryOpenExclusive(const String& path) {
  std::string host;
  struct stat st;
  if (!ResolveExisting(path, &host, &st)) return GetLastError();
  uint32_t code = kErrorSuccess;
  // Windows checks the access asked for before the sharing: a read-only file
  // gives 5 even when it is in use.
  if (S_ISDIR(st.st_mode) || IsReadOnlyMode(st.st_mode)) {
    code = kErrorAccessDenied;
  } else if (const int fd = open(host.c_str(), O_RDWR | O_CLOEXEC); fd < 0) {
    code = Win32FromErrno(errno, host);
  } else {
    close(fd);
    if (IsHeldByAnotherProcess(host, st.st_dev, st.st_ino)) code = kErrorSharingViolation;
  }
  SetLastError(code);
  return code;
}

}  // namespace platform

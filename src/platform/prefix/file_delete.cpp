// Removing files and making and removing folders.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

#include "platform/files.h"
#include "platform/prefix/file_owner.h"
#include "platform/prefix/host_files.h"
#include "platform/prefix/host_text.h"
#include "platform/prefix/in_use.h"
#include "platform/prefix/prefix.h"
#include "platform/prefix/win32_errors.h"

namespace platform {

using namespace prefix;

namespace {

// DeleteFileW's checks, in its order: a folder or a read-only file is access
// denied, a file another process holds is a sharing violation.
bool DeleteHostFile(const std::string& host) {
  struct stat st;
  if (lstat(host.c_str(), &st) != 0) return FailErrno(errno, host);
  if (S_ISLNK(st.st_mode)) {
    // The link is what goes; its target decides nothing but whether it is a
    // folder.
    struct stat target;
    if (stat(host.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) return Fail(kErrorAccessDenied);
  } else {
    if (S_ISDIR(st.st_mode) || IsReadOnlyMode(st.st_mode)) return Fail(kErrorAccessDenied);
    if (IsHeldByAnotherProcess(host, st.st_dev, st.st_ino)) return Fail(kErrorSharingViolation);
  }
  if (unlink(host.c_str()) != 0) return FailErrno(errno, host);
  return true;
}

}  // namespace

bool DeleteFile(const String& path) {
  std::string host;
  return ResolvePath(path, &host) && DeleteHostFile(host);
}

bool DeleteFilesByMask(const String& folder, const String& mask) {
  std::string host;
  if (!ResolveFolder(folder, &host)) return false;
  std::vector<std::string> matching;
  {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(host.c_str()), closedir);
    if (!dir) return FailErrno(errno, host + "/");
    while (const dirent* entry = readdir(dir.get())) {
      struct stat entryStatus;
      if (fstatat(dirfd(dir.get()), entry->d_name, &entryStatus, 0) != 0 || S_ISDIR(entryStatus.st_mode)) continue;
      if (MatchesMask(WindowsText(entry->d_name), mask)) matching.push_back(host + "/" + entry->d_name);
    }
  }
  uint32_t firstFailure = kErrorSuccess;
  for (const std::string& file : matching) {
    if (!DeleteHostFile(file) && firstFailure == kErrorSuccess) firstFailure = GetLastError();
  }
  SetLastError(firstFailure);
  return firstFailure == kErrorSuccess;
}

bool CreateDirectoryTree(const String& path) {
  std::string host;
  if (!ResolvePath(path, &host)) return false;
  // Up to the nearest existing ancestor (the drive folder at worst), then
  // down again creating each missing level.
  std::vector<std::string> missing;
  std::string current = host;
  struct stat st;
  while (stat(current.c_str(), &st) != 0) {
    if (errno != ENOENT) return FailErrno(errno, current);
    missing.push_back(current);
    current = FolderOf(current);
  }
  if (!S_ISDIR(st.st_mode)) return Fail(current == host ? kErrorAlreadyExists : kErrorPathNotFound);
  for (auto level = missing.rbegin(); level != missing.rend(); ++level) {
    if (mkdir(level->c_str(), 0777) != 0) {
      if (errno == EEXIST) continue;
      return FailErrno(errno, *level);
    }
    // A folder made by root in a user's prefix must stay that user's.
    if (FileOwner owner; OwnerOfFolderOf(*level, &owner)) GiveTo(*level, owner);
  }
  return true;
}

bool RemoveDirectory(const String& path) {
  std::string host;
  if (!ResolvePath(path, &host)) return false;
  if (rmdir(host.c_str()) == 0) return true;
  if (errno == ENOTDIR) return Fail(kErrorDirectory);
  return FailErrno(errno, host);
}

}  // namespace platform

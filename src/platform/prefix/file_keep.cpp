// Keeping a file to put it back later, and durable appends: what the undo
// of an update's changes stands on.
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/files.h"
#include "platform/prefix/host_files.h"
#include "platform/prefix/host_text.h"
#include "platform/prefix/prefix.h"
#include "platform/prefix/win32_errors.h"

namespace platform {

using namespace prefix;

namespace {

bool SyncFolderOf(const std::string& hostPath) {
  const int fd = open(FolderOf(hostPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return FailErrno(errno, FolderOf(hostPath));
  const bool synced = fsync(fd) == 0;
  const int error = errno;
  close(fd);
  return synced || FailErrno(error, FolderOf(hostPath));
}

}  // namespace

bool KeepFile(const String& path, const String& kept, uint32_t* mode) {
  std::string host, keptHost;
  struct stat status;
  if (!ResolveExisting(path, &host, &status)) return false;
  if (S_ISDIR(status.st_mode)) return Fail(kErrorAccessDenied);
  if (!ResolvePath(kept, &keptHost)) return false;
  if (FolderOf(keptHost) != FolderOf(host)) return Fail(kErrorNotSameDevice);
  // A name left by an earlier unit that was never cleaned up is not the
  // file's: the new link takes its place.
  if (unlink(keptHost.c_str()) != 0 && errno != ENOENT) return FailErrno(errno, keptHost);
  if (link(host.c_str(), keptHost.c_str()) != 0) return FailErrno(errno, keptHost);
  *mode = status.st_mode & 07777;
  return SyncFolderOf(host);
}

bool PutBackFile(const String& kept, const String& path, uint32_t mode) {
  std::string keptHost, host;
  struct stat status;
  if (!ResolveExisting(kept, &keptHost, &status) || !ResolvePath(path, &host)) return false;
  if (FolderOf(keptHost) != FolderOf(host)) return Fail(kErrorNotSameDevice);
  // Two names of one file (the file was kept and not yet replaced): rename
  // would leave both, so the spare name goes.
  struct stat current;
  const bool same = stat(host.c_str(), &current) == 0 && current.st_dev == status.st_dev &&
                    current.st_ino == status.st_ino;
  if (same ? unlink(keptHost.c_str()) != 0 : rename(keptHost.c_str(), host.c_str()) != 0)
    return FailErrno(errno, host);
  if ((status.st_mode & 07777) != mode && chmod(host.c_str(), mode & 07777) != 0) return FailErrno(errno, host);
  return SyncFolderOf(host);
}

bool AppendFileDurably(const String& path, const std::string& bytes) {
  std::string host;
  if (!ResolvePath(path, &host)) return false;
  const bool existed = access(host.c_str(), F_OK) == 0;
  const int fd = open(host.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return FailErrno(errno, host);
  const bool written = WriteAll(fd, bytes) && fdatasync(fd) == 0;
  const int error = errno;
  close(fd);
  if (!written) return FailErrno(error, host);
  return existed || SyncFolderOf(host);
}

bool FlushFolder(const String& folder) {
  std::string host;
  if (!ResolveFolder(folder, &host)) return false;
  return SyncFolderOf(host + "/.");
}

bool FileIsOurs(const String& path, String* owner) {
  std::string host;
  struct stat status;
  if (!ResolveExisting(path, &host, &status)) return true;
  const passwd* entry = getpwuid(status.st_uid);
  *owner = WindowsText(entry ? std::string(entry->pw_name) : std::to_string(status.st_uid));
  return status.st_uid == geteuid();
}

}  // namespace platform

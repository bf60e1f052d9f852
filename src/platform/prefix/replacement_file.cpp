#include "platform/prefix/replacement_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "platform/prefix/file_owner.h"
#include "platform/prefix/host_files.h"
#include "platform/prefix/in_use.h"
#include "platform/prefix/win32_errors.h"

namespace platform::prefix {
namespace {

std::string TemporaryName(const std::string& folder) {
  static std::atomic<unsigned> counter{0};
  static thread_local std::mt19937 random{std::random_device{}()};
  char name[64];
  std::snprintf(name, sizeof name, "%s%d-%u-%08x", kTemporaryPrefix, static_cast<int>(getpid()), counter++,
                static_cast<unsigned>(random()));
  return (folder == "/" ? "" : folder) + "/" + name;
}

// Makes the rename itself durable: the folder's entry is written out too.
void SyncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

// Puts from in place of to, refusing to replace an existing to.
int RenameNoReplace(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // File systems without the flag: a hard link fails on an existing name too.
  if (link(from.c_str(), to.c_str()) != 0) return errno;
  unlink(from.c_str());
  return 0;
}

// The process id in a name made by TemporaryName ("<pid>-<n>-<8 hex
// digits>" after the prefix); 0 for any other name. A Windows program's
// temporary in the same folder is named without the hex part, and its writer
// holds no lock this side could see: the clean-up must pass it over.
long WriterOfTemporary(const char* name) {
  const char* p = name + std::strlen(kTemporaryPrefix);
  auto digits = [&p](int atMost) {
    const char* start = p;
    while (p - start < atMost && std::isdigit(static_cast<unsigned char>(*p))) ++p;
    return p > start;
  };
  const char* pidStart = p;
  if (!digits(9) || *p != '-') return 0;
  const long pid = std::strtol(pidStart, nullptr, 10);
  ++p;
  if (!digits(10) || *p++ != '-') return 0;
  for (int i = 0; i < 8; ++i, ++p)
    if (!std::isxdigit(static_cast<unsigned char>(*p))) return 0;
  return *p == '\0' ? pid : 0;
}

// Whether the temporary file name in folder was left by a writer that is
// gone: the process its name carries no longer runs, and nobody holds the
// lock every writer keeps on its file (the second check covers a process id
// seen from another process namespace, or already given to a new process).
bool Abandoned(const std::string& folder, const char* name) {
  const long pid = WriterOfTemporary(name);
  if (pid <= 0 || pid == getpid()) return false;
  if (kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) return false;
  const int fd = open((folder + "/" + name).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  const bool unlocked = flock(fd, LOCK_EX | LOCK_NB) == 0;
  close(fd);
  return unlocked;
}

// Removes the temporary files that killed writers left in folder, so that
// they do not pile up beside the files they were meant to replace.
void RemoveAbandoned(const std::string& folder) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  const size_t prefixLength = std::strlen(kTemporaryPrefix);
  while (const dirent* entry = readdir(dir)) {
    if (std::strncmp(entry->d_name, kTemporaryPrefix, prefixLength) != 0) continue;
    if (Abandoned(folder, entry->d_name)) unlink((folder + "/" + entry->d_name).c_str());
  }
  closedir(dir);
}

}  // namespace

bool CheckReplaceableTarget(const std::string& hostPath, bool failIfExists, struct stat* existing, bool* exists) {
  struct stat folder;
  const std::string folderPath = FolderOf(hostPath);
  if (stat(folderPath.c_str(), &folder) != 0) {
    return errno == ENOENT ? Fail(kErrorPathNotFound) : FailErrno(errno, folderPath);
  }
  if (!S_ISDIR(folder.st_mode)) return Fail(kErrorPathNotFound);
  *exists = stat(hostPath.c_str(), existing) == 0;
  if (!*exists) {
    if (errno != ENOENT) return FailErrno(errno, hostPath);
    return true;
  }
  if (S_ISDIR(existing->st_mode)) return Fail(kErrorAccessDenied);
  if (failIfExists) return Fail(kErrorFileExists);
  if (IsReadOnlyMode(existing->st_mode)) return Fail(kErrorAccessDenied);
  if (IsHeldByAnotherProcess(hostPath, existing->st_dev, existing->st_ino)) return Fail(kErrorSharingViolation);
  return true;
}

ReplacementFile::~ReplacementFile() { Abandon(); }

bool ReplacementFile::Create(const std::string& targetHostPath, mode_t mode) {
  Abandon();
  const std::string folder = FolderOf(targetHostPath);
  RemoveAbandoned(folder);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string candidate = TemporaryName(folder);
    fd_ = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
      // Held until the file is renamed or removed: tells a later sweep that
      // its writer is still at work.
      flock(fd_, LOCK_EX | LOCK_NB);
      if (FileOwner owner; OwnerFor(targetHostPath, &owner)) GiveTo(fd_, owner);
      path_ = candidate;
      target_ = targetHostPath;
      mode_ = mode;
      return true;
    }
    if (errno != EEXIST) return FailErrno(errno, candidate);
  }
  return Fail(kErrorAlreadyExists);
}

bool ReplacementFile::Write(const void* data, size_t size) {
  if (fd_ < 0) return Fail(kErrorInvalidHandle);
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t written = write(fd_, bytes, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      Abandon();
      return FailErrno(error, target_);
    }
    bytes += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

bool ReplacementFile::SetLastWriteTime(const struct timespec& time) {
  if (fd_ < 0) return Fail(kErrorInvalidHandle);
  const struct timespec times[2] = {{0, UTIME_NOW}, time};
  if (futimens(fd_, times) != 0) {
    const int error = errno;
    Abandon();
    return FailErrno(error, target_);
  }
  return true;
}

bool ReplacementFile::Commit(bool failIfExists) {
  if (fd_ < 0) return Fail(kErrorInvalidHandle);
  int error = 0;
  if ((mode_ != kNewFileMode && fchmod(fd_, mode_ & 07777) != 0) || fsync(fd_) != 0) error = errno;
  if (close(fd_) != 0 && error == 0) error = errno;
  fd_ = -1;
  if (error == 0) {
    if (failIfExists) error = RenameNoReplace(path_, target_);
    else if (rename(path_.c_str(), target_.c_str()) != 0) error = errno;
  }
  if (error != 0) {
    unlink(path_.c_str());
    path_.clear();
    if (error == EEXIST && failIfExists) return Fail(kErrorFileExists);
    return FailErrno(error, target_);
  }
  path_.clear();
  SyncFolder(FolderOf(target_));
  return true;
}

void ReplacementFile::Abandon() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (!path_.empty()) unlink(path_.c_str());
  path_.clear();
}

}  // namespace platform::prefix

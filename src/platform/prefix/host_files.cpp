#include "platform/prefix/host_files.h"

#include <unistd.h>

#include <cerrno>

#include "platform/files.h"
#include "platform/prefix/prefix.h"
#include "platform/prefix/win32_errors.h"

namespace platform::prefix {

namespace {
constexpr uint64_t kTicksPerSecond = 10'000'000;
}

bool ResolveExisting(const String& path, std::string* hostPath, struct stat* status) {
  if (!ResolvePath(path, hostPath)) return false;
  if (stat(hostPath->c_str(), status) != 0) return FailErrno(errno, *hostPath);
  return true;
}

bool ResolveFolder(const String& path, std::string* hostPath) {
  struct stat status;
  if (!ResolveExisting(path, hostPath, &status)) {
    if (GetLastError() == kErrorFileNotFound) SetLastError(kErrorPathNotFound);
    return false;
  }
  if (!S_ISDIR(status.st_mode)) return Fail(kErrorPathNotFound);
  return true;
}

bool IsReadOnlyMode(mode_t mode) { return (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0; }

uint32_t AttributesOf(const struct stat& status, const std::string& name) {
  uint32_t attributes = S_ISDIR(status.st_mode) ? kAttributeDirectory : kAttributeArchive;
  if (IsReadOnlyMode(status.st_mode)) attributes |= kAttributeReadOnly;
  if (name.size() > 1 && name[0] == '.' && name != "..") attributes |= kAttributeHidden;
  return attributes;
}

FileTime FileTimeOf(const struct timespec& time) {
  const int64_t seconds = static_cast<int64_t>(time.tv_sec) + static_cast<int64_t>(kUnixEpochInFileTimeSeconds);
  if (seconds < 0) return 0;
  return static_cast<uint64_t>(seconds) * kTicksPerSecond + static_cast<uint64_t>(time.tv_nsec) / 100;
}

struct timespec TimespecOf(FileTime time) {
  struct timespec out;
  out.tv_sec = static_cast<time_t>(static_cast<int64_t>(time / kTicksPerSecond) -
                                   static_cast<int64_t>(kUnixEpochInFileTimeSeconds));
  out.tv_nsec = static_cast<long>((time % kTicksPerSecond) * 100);
  return out;
}

std::string NameOf(const std::string& hostPath) {
  const size_t slash = hostPath.find_last_of('/');
  return slash == std::string::npos ? hostPath : hostPath.substr(slash + 1);
}

std::string FolderOf(const std::string& hostPath) {
  const size_t slash = hostPath.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : hostPath.substr(0, slash);
}

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace platform::prefix

#include "platform/prefix/in_use.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace platform::prefix {
namespace {

// A directory stream on an already open descriptor, closed with the object.
class DirectoryStream {
 public:
  explicit DirectoryStream(int fd) : dir_(fd >= 0 ? fdopendir(fd) : nullptr) {
    if (fd >= 0 && !dir_) close(fd);
  }
  ~DirectoryStream() {
    if (dir_) closedir(dir_);
  }
  DirectoryStream(const DirectoryStream&) = delete;
  DirectoryStream& operator=(const DirectoryStream&) = delete;
  DIR* get() const { return dir_; }

 private:
  DIR* dir_;
};

bool IsNumber(const char* name) {
  if (!*name) return false;
  for (; *name; ++name) {
    if (*name < '0' || *name > '9') return false;
  }
  return true;
}

bool DescriptorsHold(int procFd, const char* pid, dev_t device, ino_t inode) {
  char path[300];
  std::snprintf(path, sizeof path, "%s/fd", pid);
  DirectoryStream fds(openat(procFd, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fds.get()) return false;
  const int fdsFd = dirfd(fds.get());
  while (const dirent* entry = readdir(fds.get())) {
    if (entry->d_name[0] == '.') continue;
    struct stat st;
    // Following the link reaches the open file itself, even when its path
    // was renamed or deleted since.
    if (fstatat(fdsFd, entry->d_name, &st, 0) == 0 && st.st_ino == inode && st.st_dev == device) return true;
  }
  return false;
}

std::string ReadWhole(int procFd, const char* path) {
  std::string text;
  const int fd = openat(procFd, path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return text;
  char buffer[65536];
  for (;;) {
    const ssize_t count = read(fd, buffer, sizeof buffer);
    if (count <= 0) break;
    text.append(buffer, static_cast<size_t>(count));
  }
  close(fd);
  return text;
}

// Lines of /proc/<pid>/maps: "start-end perms offset major:minor inode path".
// The inode is looked for as text first, so that only the rare line that
// mentions it is parsed.
bool MappingsHold(int procFd, const char* pid, dev_t device, ino_t inode) {
  char path[300];
  std::snprintf(path, sizeof path, "%s/maps", pid);
  const std::string maps = ReadWhole(procFd, path);
  char needle[32];
  const int needleLength = std::snprintf(needle, sizeof needle, " %llu ", static_cast<unsigned long long>(inode));
  for (size_t at = maps.find(needle, 0, needleLength); at != std::string::npos;
       at = maps.find(needle, at + 1, needleLength)) {
    const size_t lineStart = maps.rfind('\n', at) == std::string::npos ? 0 : maps.rfind('\n', at) + 1;
    unsigned major = 0, minor = 0;
    unsigned long long node = 0;
    if (std::sscanf(maps.c_str() + lineStart, "%*s %*s %*s %x:%x %llu", &major, &minor, &node) == 3 &&
        node == inode && makedev(major, minor) == device) {
      return true;
    }
  }
  return false;
}

// Whether any process reaches the file, asked of the kernel at the cost of
// one open: a write lease is granted only while no other open file of the
// system refers to it (descriptors and mappings alike, every user's).
enum class LeaseAnswer { Free, Reached, Unknown };

LeaseAnswer AskWithLease(const std::string& hostPath, dev_t device, ino_t inode) {
  // Non-blocking: a lease another program holds on the file would otherwise
  // keep the open waiting until that program gives it up.
  const int fd = open(hostPath.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return errno == EWOULDBLOCK ? LeaseAnswer::Reached : LeaseAnswer::Unknown;
  LeaseAnswer answer = LeaseAnswer::Unknown;
  struct stat st;
  // A process opening the file while the lease is held makes the kernel
  // signal the holder, SIGIO by default, which would end this program; the
  // lease is given back at once, so the signal is made one that is ignored.
  if (fstat(fd, &st) == 0 && st.st_dev == device && st.st_ino == inode && fcntl(fd, F_SETSIG, SIGURG) == 0) {
    if (fcntl(fd, F_SETLEASE, F_WRLCK) == 0) {
      fcntl(fd, F_SETLEASE, F_UNLCK);
      answer = LeaseAnswer::Free;
    } else if (errno == EAGAIN) {
      answer = LeaseAnswer::Reached;
    }
  }
  close(fd);
  return answer;
}

}  // namespace

bool IsHeldByAnotherProcess(const std::string& hostPath, dev_t device, ino_t inode) {
  // The lease answers "free" for nearly every file at almost no cost. It
  // cannot tell this process's own descriptors from others', and it is not
  // available everywhere (another user's file, file systems without leases),
  // so anything but "free" is settled by looking at every process.
  if (AskWithLease(hostPath, device, inode) == LeaseAnswer::Free) return false;
  return IsHeldByAnotherProcess(device, inode);
}

bool IsHeldByAnotherProcess(dev_t device, ino_t inode) {
  DirectoryStream proc(open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!proc.get()) return false;
  const int procFd = dirfd(proc.get());
  char self[32];
  std::snprintf(self, sizeof self, "%d", static_cast<int>(getpid()));
  while (const dirent* entry = readdir(proc.get())) {
    if (!IsNumber(entry->d_name) || std::strcmp(entry->d_name, self) == 0) continue;
    if (DescriptorsHold(procFd, entry->d_name, device, inode) || MappingsHold(procFd, entry->d_name, device, inode)) {
      return true;
    }
  }
  return false;
}

bool IsFileInUse(const std::string& hostPath) {
  struct stat st;
  if (stat(hostPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  return IsHeldByAnotherProcess(hostPath, st.st_dev, st.st_ino);
}

}  // namespace platform::prefix

// The single-instance lock: an abstract Unix socket bound to a name made of
// the user id, the prefix and the application's name. Only one socket can
// hold a name, the kernel frees it when the process ends however it ends, and
// it lives in no file system, so nothing is left behind after a crash. The
// descriptor is not inherited by programs this one starts.
//
// A Windows program's named objects live in its prefix's wineserver, so two
// prefixes are two installations that never see each other's locks; the
// prefix is named by its folder's device and inode, so every spelling of its
// path (a trailing slash, a symbolic link) is the same installation.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/prefix/host_text.h"
#include "platform/prefix/prefix.h"
#include "platform/prefix/win32_errors.h"
#include "platform/system.h"

namespace platform {

using namespace prefix;

namespace {

class SocketInstanceLock : public InstanceLock {
 public:
  SocketInstanceLock(int fd, bool alreadyExists) : fd_(fd), alreadyExists_(alreadyExists) {}
  ~SocketInstanceLock() override {
    if (fd_ >= 0) close(fd_);
  }
  bool alreadyExists() const override { return alreadyExists_; }

 private:
  int fd_;
  bool alreadyExists_;
};

uint64_t Fnv1a(const std::string& text) {
  uint64_t hash = 1469598103934665603ULL;
  for (unsigned char c : text) hash = (hash ^ c) * 1099511628211ULL;
  return hash;
}

// The prefix the locks belong to: its folder's device and inode, or, for a
// prefix that does not exist (yet), a digest of its path.
std::string PrefixIdentity() {
  const std::string root = Root();
  char identity[48];
  struct stat st;
  if (stat(root.c_str(), &st) == 0) {
    std::snprintf(identity, sizeof identity, "%llx:%llx", static_cast<unsigned long long>(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
  } else {
    std::snprintf(identity, sizeof identity, "p%016llx", static_cast<unsigned long long>(Fnv1a(root)));
  }
  return identity;
}

// Names compare exactly, as the system's object names do. A name too long
// for a socket address is shortened to a digest of itself.
std::string AbstractName(const String& name) {
  std::string text = HostText(name);
  char prefix[96];
  std::snprintf(prefix, sizeof prefix, "kelvaro-instance-%u-%s-", static_cast<unsigned>(getuid()),
                PrefixIdentity().c_str());
  constexpr size_t kRoom = sizeof(sockaddr_un::sun_path) - 1;
  if (std::strlen(prefix) + text.size() > kRoom) {
    char digest[24];
    std::snprintf(digest, sizeof digest, "#%016llx", static_cast<unsigned long long>(Fnv1a(text)));
    text = text.substr(0, kRoom - std::strlen(prefix) - std::strlen(digest)) + digest;
  }
  return prefix + text;
}

}  // namespace

std::unique_ptr<InstanceLock> CreateInstanceLock(const String& name) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    FailErrno(errno, "");
    return nullptr;
  }
  const std::string abstract = AbstractName(name);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  // A leading NUL puts the name in the abstract namespace.
  std::memcpy(address.sun_path + 1, abstract.data(), abstract.size());
  const socklen_t length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + abstract.size());
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0) {
    SetLastError(kErrorSuccess);
    return std::make_unique<SocketInstanceLock>(fd, false);
  }
  const int error = errno;
  close(fd);
  if (error != EADDRINUSE) {
    FailErrno(error, "");
    return nullptr;
  }
  SetLastError(kErrorAlreadyExists);
  return std::make_unique<SocketInstanceLock>(-1, true);
}

}  // namespace platform

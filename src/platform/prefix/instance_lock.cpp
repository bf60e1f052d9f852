// The single-instance lock: an abstract Unix socket bound to a name made of
// the user id and the application's name. Only one socket can hold a name,
// the kernel frees it when the process ends however it ends, and it lives in
// no file system, so nothing is left behind after a crash. The descriptor is
// not inherited by programs this one starts.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/prefix/host_text.h"
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

// Names compare exactly, as the system's object names do. A name too long
// for a socket address is shortened to a digest of itself.
std::string AbstractName(const String& name) {
  std::string text = HostText(name);
  char prefix[64];
  std::snprintf(prefix, sizeof prefix, "kelvaro-instance-%u-", static_cast<unsigned>(getuid()));
  constexpr size_t kRoom = sizeof(sockaddr_un::sun_path) - 1;
  if (std::strlen(prefix) + text.size() > kRoom) {
    uint64_t hash = 1469598103934665603ULL;  // FNV-1a
    for (unsigned char c : text) hash = (hash ^ c) * 1099511628211ULL;
    char digest[24];
    std::snprintf(digest, sizeof digest, "#%016llx", static_cast<unsigned long long>(hash));
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

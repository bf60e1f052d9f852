#include "platform/prefix/registry_wineserver.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace platform::prefix {
namespace {

// An open file description lock query also sees locks of this very process,
// so a test can hold the server's lock itself.
bool LockHeld(const std::string& lockPath) {
  int fd = open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct flock query {};
  query.l_type = F_WRLCK;
  query.l_whence = SEEK_SET;
  query.l_start = 0;
  query.l_len = 0;
  bool held = false;
  if (fcntl(fd, F_OFD_GETLK, &query) == 0) held = query.l_type != F_UNLCK;
  else if (fcntl(fd, F_GETLK, &query) == 0) held = query.l_type != F_UNLCK;
  close(fd);
  return held;
}

bool SocketAccepts(const std::string& socketPath) {
  sockaddr_un address{};
  if (socketPath.size() >= sizeof address.sun_path) return false;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  bool accepted = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return accepted;
}

}  // namespace

std::string WineserverFolder(const std::string& prefixRoot) {
  struct stat st {};
  if (stat(prefixRoot.c_str(), &st) != 0) return {};
  char folder[128];
  std::snprintf(folder, sizeof folder, "/tmp/.wine-%u/server-%llx-%llx", unsigned(getuid()),
                static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino));
  return folder;
}

bool WineserverRunning(const std::string& prefixRoot) {
  const std::string folder = WineserverFolder(prefixRoot);
  if (folder.empty()) return false;
  if (LockHeld(folder + "/lock")) return true;
  // Without the lock file (a server of another make), a socket that accepts
  // a connection tells a live server.
  struct stat st {};
  if (stat((folder + "/lock").c_str(), &st) == 0) return false;
  return stat((folder + "/socket").c_str(), &st) == 0 && SocketAccepts(folder + "/socket");
}

}  // namespace platform::prefix

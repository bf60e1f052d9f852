#include "platform/prefix/registry_wineserver.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

namespace platform::prefix {
namespace {

// The process holding the lock: 0 when nobody does, -1 when someone does
// whose process is not told (an open file description lock). An open file
// description lock query also sees locks of this very process, so a test can
// hold the server's lock itself. Opened without blocking: a "lock" that is a
// named pipe must not stall the caller.
long LockHolder(const std::string& lockPath) {
  int fd = open(lockPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return 0;
  struct flock query {};
  query.l_type = F_WRLCK;
  query.l_whence = SEEK_SET;
  query.l_start = 0;
  query.l_len = 0;
  long holder = 0;
  if (fcntl(fd, F_OFD_GETLK, &query) == 0 || fcntl(fd, F_GETLK, &query) == 0) {
    if (query.l_type != F_UNLCK) holder = query.l_pid > 0 ? query.l_pid : -1;
  }
  close(fd);
  return holder;
}

bool SocketAccepts(const std::string& socketPath) {
  sockaddr_un address{};
  if (socketPath.size() >= sizeof address.sun_path) return false;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
  // Without blocking: a server too busy to take the connection now still
  // listens (EAGAIN), and a stopped one must not stall the caller.
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  bool accepted = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 || errno == EAGAIN;
  close(fd);
  return accepted;
}

std::mutex& TempFolderMutex() {
  static std::mutex mutex;
  return mutex;
}

std::string& TempFolderSetting() {
  static std::string folder;
  return folder;
}

std::string WineserverTempFolder() {
  std::lock_guard lock(TempFolderMutex());
  const std::string& folder = TempFolderSetting();
  return folder.empty() ? std::string("/tmp") : folder;
}

}  // namespace

void SetWineserverTempFolder(const std::string& folder) {
  std::lock_guard lock(TempFolderMutex());
  TempFolderSetting() = folder;
}

std::vector<std::string> WineserverFolders(const std::string& prefixRoot) {
  struct stat st {};
  if (stat(prefixRoot.c_str(), &st) != 0) return {};
  char leaf[64];
  std::snprintf(leaf, sizeof leaf, "/server-%llx-%llx", static_cast<unsigned long long>(st.st_dev),
                static_cast<unsigned long long>(st.st_ino));
  const std::string temp = WineserverTempFolder();
  std::vector<std::string> folders{temp + "/.wine-" + std::to_string(getuid()) + leaf};
  std::ifstream named(prefixRoot + "/wineserver");
  std::string root;
  if (std::getline(named, root)) {
    while (!root.empty() && (root.back() == '\r' || root.back() == ' ')) root.pop_back();
    // Anything that climbs out is ignored. A bare name lives in the
    // temporary folder of the Wine that made it: $TMPDIR, which Wine's
    // programs share with this one, or else /tmp.
    if (!root.empty() && root.find("..") == std::string::npos) {
      if (root[0] == '/') {
        folders.push_back(root + leaf);
      } else {
        const char* tmpdir = std::getenv("TMPDIR");
        if (tmpdir && tmpdir[0] == '/' && std::string(tmpdir) != temp) folders.push_back(tmpdir + ("/" + root) + leaf);
        folders.push_back(temp + "/" + root + leaf);
      }
    }
  }
  return folders;
}

std::string WineserverFolder(const std::string& prefixRoot) {
  auto folders = WineserverFolders(prefixRoot);
  return folders.empty() ? std::string() : folders.front();
}

bool WineserverRunning(const std::string& prefixRoot) { return !LiveWineserverFolder(prefixRoot).empty(); }

std::string LiveWineserverFolder(const std::string& prefixRoot) {
  long ignored = 0;
  return LiveWineserver(prefixRoot, &ignored);
}

std::string LiveWineserver(const std::string& prefixRoot, long* process) {
  *process = 0;
  for (const std::string& folder : WineserverFolders(prefixRoot)) {
    *process = LockHolder(folder + "/lock");
    if (*process != 0) return folder;
    // Without the lock file (a server of another make), a socket that
    // accepts a connection tells a live server.
    struct stat st {};
    if (stat((folder + "/lock").c_str(), &st) != 0 && stat((folder + "/socket").c_str(), &st) == 0 &&
        SocketAccepts(folder + "/socket")) {
      *process = -1;
      return folder;
    }
  }
  return {};
}

namespace {

struct WaitSettings {
  std::mutex mutex;
  std::chrono::milliseconds wait = kWineserverWait;
  std::function<void(bool)> observer;
  // Per prefix, the server process that outlived a whole wait (-1: a live
  // server whose process is not told).
  std::map<std::string, long> outlived;
};

WaitSettings& Settings() {
  static WaitSettings settings;
  return settings;
}

}  // namespace

bool WaitForWineserverEnd(const std::string& prefixRoot) {
  WaitSettings& settings = Settings();
  std::unique_lock lock(settings.mutex);
  long server = 0;
  if (LiveWineserver(prefixRoot, &server).empty()) {
    settings.outlived.erase(prefixRoot);
    return true;
  }
  const auto known = settings.outlived.find(prefixRoot);
  if (known != settings.outlived.end() && known->second == server) return false;
  const auto deadline = std::chrono::steady_clock::now() + settings.wait;
  const std::function<void(bool)> observer = settings.observer;
  lock.unlock();
  if (observer) observer(true);
  bool running = true;
  while (running && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    running = !LiveWineserver(prefixRoot, &server).empty();
  }
  if (observer) observer(false);
  lock.lock();
  if (running) settings.outlived[prefixRoot] = server;
  return !running;
}

void SetWineserverWait(std::chrono::milliseconds wait) {
  std::lock_guard lock(Settings().mutex);
  Settings().wait = wait.count() > 0 ? wait : kWineserverWait;
  Settings().outlived.clear();
}

void SetWineserverWaitObserver(std::function<void(bool waiting)> observer) {
  std::lock_guard lock(Settings().mutex);
  Settings().observer = std::move(observer);
}

}  // namespace platform::prefix

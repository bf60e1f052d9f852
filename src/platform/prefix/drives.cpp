// The prefix's drives and the paths between them and the host.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <filesystem>

#include "platform/files.h"
#include "platform/prefix/host_text.h"
#include "platform/prefix/prefix.h"
#include "platform/prefix/win32_errors.h"

namespace platform {

using namespace prefix;

namespace {

bool Holds(const std::string& folder, const std::string& path) {
  if (folder == "/") return true;
  return path.compare(0, folder.size(), folder) == 0 && (path.size() == folder.size() || path[folder.size()] == '/');
}

String WindowsPathOn(char16_t letter, const std::string& folder, const std::string& path) {
  std::string rest = folder == "/" ? path.substr(1) : path.substr(std::min(path.size(), folder.size() + 1));
  String out = String(1, letter) + u":\\" + WindowsText(rest);
  for (char16_t& c : out) {
    if (c == u'/') c = u'\\';
  }
  return out;
}

}  // namespace

std::vector<String> GetLogicalDriveStrings() {
  std::vector<String> roots;
  for (const Drive& drive : Drives()) roots.push_back(String(1, drive.letter) + u":\\");
  return roots;
}

std::string ToNativePath(const String& windowsPath) {
  std::string host;
  if (!ResolvePath(windowsPath, &host)) return {};
  return host;
}

String FromNativePath(const std::string& nativePath) {
  if (nativePath.empty()) {
    Fail(kErrorPathNotFound);
    return {};
  }
  std::error_code error;
  const std::string path = std::filesystem::weakly_canonical(std::filesystem::absolute(nativePath, error), error)
                               .lexically_normal()
                               .string();
  if (error || path.empty() || path[0] != '/') {
    Fail(kErrorPathNotFound);
    return {};
  }
  // The drive whose folder holds the path most closely; z: (the whole host
  // file system in a usual prefix) only when no other drive does.
  const Drive* best = nullptr;
  const Drive* z = nullptr;
  const std::vector<Drive> drives = Drives();
  for (const Drive& drive : drives) {
    if (!Holds(drive.folder, path)) continue;
    if (drive.letter == u'Z') z = &drive;
    else if (!best || drive.folder.size() > best->folder.size()) best = &drive;
  }
  if (!best) best = z;
  if (!best) {
    Fail(kErrorPathNotFound);
    return {};
  }
  String out = WindowsPathOn(best->letter, best->folder, path);
  // lexically_normal keeps a trailing separator of a folder: so does this.
  return out;
}

String GetModuleFileName() {
  char exe[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (length <= 0) {
    FailErrno(errno, "/proc/self/exe");
    return {};
  }
  return FromNativePath(std::string(exe, static_cast<size_t>(length)));
}

String GetWindowsDirectory() {
  const String windows = u"C:\\windows";
  std::string host;
  struct stat st;
  if (!ResolvePath(windows, &host)) return {};
  if (stat(host.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    Fail(kErrorPathNotFound);
    return {};
  }
  return windows;
}

}  // namespace platform

// Windows paths onto the prefix's drives: dosdevices links, then one
// component at a time, letter case ignored.
#include "platform/prefix/prefix.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/prefix/host_text.h"
#include "platform/prefix/win32_errors.h"

namespace platform::prefix {
namespace {

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* pw = getpwuid(getuid())) return pw->pw_dir;
  return "/";
}

bool IsDriveLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

// Characters Windows refuses in a file name.
bool HasInvalidCharacter(const String& component) {
  for (char16_t c : component) {
    if (c < 0x20 || c == u'<' || c == u'>' || c == u':' || c == u'"' || c == u'|' || c == u'?' || c == u'*') return true;
  }
  return false;
}

// Windows drops trailing dots and spaces of a name ("file.txt." is "file.txt").
String TrimTrailingDotsAndSpaces(String component) {
  if (component == u"." || component == u"..") return component;
  while (!component.empty() && (component.back() == u'.' || component.back() == u' ')) component.pop_back();
  return component;
}

// Splits the part after "X:" into names, applying "." and ".." the way the
// system normalises a full path (never above the root).
bool SplitComponents(const String& rest, std::vector<String>* components) {
  size_t start = 0;
  while (start <= rest.size()) {
    size_t end = rest.find(u'\\', start);
    if (end == String::npos) end = rest.size();
    const String component = TrimTrailingDotsAndSpaces(rest.substr(start, end - start));
    if (component == u"..") {
      if (!components->empty()) components->pop_back();
    } else if (!component.empty() && component != u".") {
      if (HasInvalidCharacter(component)) return false;
      components->push_back(component);
    }
    start = end + 1;
  }
  return true;
}

// The entry of folder whose name equals name ignoring case; the exact
// spelling wins when several differ only by case.
bool FindEntryIgnoringCase(const std::string& folder, const String& name, std::string* found) {
  const std::string exact = HostText(name);
  struct stat st;
  if (lstat((folder + "/" + exact).c_str(), &st) == 0) {
    *found = exact;
    return true;
  }
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
  if (!dir) return false;
  const String wanted = UpperCaseName(name);
  while (const dirent* entry = readdir(dir.get())) {
    const String candidate = WindowsText(entry->d_name);
    if (candidate.size() == wanted.size() && UpperCaseName(candidate) == wanted) {
      *found = entry->d_name;
      return true;
    }
  }
  return false;
}

std::string Join(const std::string& folder, const std::string& name) {
  return folder == "/" ? "/" + name : folder + "/" + name;
}

}  // namespace

std::string Root() {
  std::string root;
  if (const char* named = std::getenv("WINEPREFIX"); named && *named) root = named;
  else root = HomeFolder() + "/.wine";
  if (root[0] != '/') {
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd)) root = Join(cwd, root);
  }
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  return root;
}

std::string DriveFolder(char16_t letter) {
  if (!IsDriveLetter(letter)) return {};
  const char lower = static_cast<char>(letter | 0x20);
  const std::string link = Root() + "/dosdevices/" + lower + ":";
  char resolved[PATH_MAX];
  if (!realpath(link.c_str(), resolved)) return {};
  struct stat st;
  if (stat(resolved, &st) != 0 || !S_ISDIR(st.st_mode)) return {};
  return resolved;
}

std::vector<Drive> Drives() {
  std::vector<Drive> drives;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir((Root() + "/dosdevices").c_str()), closedir);
  if (!dir) return drives;
  std::vector<char16_t> letters;
  while (const dirent* entry = readdir(dir.get())) {
    const char* name = entry->d_name;
    // The names DriveFolder looks for: a lower-case letter and a colon.
    if (name[0] >= 'a' && name[0] <= 'z' && name[1] == ':' && name[2] == '\0') {
      letters.push_back(static_cast<char16_t>(u'A' + (name[0] - 'a')));
    }
  }
  std::sort(letters.begin(), letters.end());
  for (char16_t letter : letters) {
    if (std::string folder = DriveFolder(letter); !folder.empty()) drives.push_back({letter, std::move(folder)});
  }
  return drives;
}

bool ResolvePath(const String& windowsPath, std::string* hostPath) {
  String path = windowsPath;
  for (char16_t& c : path) {
    if (c == u'/') c = u'\\';
  }
  if (path.rfind(u"\\\\?\\", 0) == 0) path.erase(0, 4);
  if (path.size() < 2 || !IsDriveLetter(path[0]) || path[1] != u':') return Fail(kErrorInvalidName);
  std::vector<String> components;
  if (!SplitComponents(path.substr(2), &components)) return Fail(kErrorInvalidName);

  std::string current = DriveFolder(path[0]);
  if (current.empty()) return Fail(kErrorPathNotFound);
  bool existing = true;  // whether current exists, so that lookups are worth making
  for (const String& component : components) {
    std::string name;
    if (existing) existing = FindEntryIgnoringCase(current, component, &name);
    if (!existing) name = HostText(component);
    current = Join(current, name);
  }
  *hostPath = current;
  return true;
}

}  // namespace platform::prefix

#include "generated_prefix.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace bench {
namespace {

std::string Hex4(unsigned v) {
  char b[16];
  std::snprintf(b, sizeof b, "%04X", v);
  return b;
}

std::string Hex2List(unsigned seed, int count) {
  std::string bytes;
  for (int i = 0; i < count; ++i) {
    // Long binary values wrap as Wine writes them: a backslash, then two
    // spaces at the start of the next line.
    if (i > 0) bytes += i % 24 ? "," : ",\\\n  ";
    char b[8];
    std::snprintf(b, sizeof b, "%02x", (seed * 31 + unsigned(i) * 7) & 0xff);
    bytes += b;
  }
  return bytes;
}

// A key line and its timestamp line; path with single backslashes.
void AppendKeyLine(std::string* text, const std::string& path) {
  std::string escaped = path;
  for (size_t at = 0; (at = escaped.find('\\', at)) != std::string::npos; at += 2) escaped.insert(at, "\\");
  *text += "\n[" + escaped + "] 1796862791\n#time=1dd883e092ec922\n";
}

std::string Guid(unsigned i, unsigned salt) {
  return "{" + Hex4(i) + Hex4(i * salt) + "-" + Hex4(i * 13) + "-4A1B-9C2D-" + Hex4(i * 3) + Hex4(i + salt) +
         Hex4(i * 5) + "}";
}

// An interface: its name, the class of its proxy, sometimes its method count.
void AppendInterfaceKeys(std::string* text, unsigned i) {
  const std::string key = "Software\\Classes\\Interface\\" + Guid(i, 11);
  AppendKeyLine(text, key);
  *text += "@=\"IGenerated" + std::to_string(i) + "\"\n";
  AppendKeyLine(text, key + "\\ProxyStubClsid32");
  *text += "@=\"" + Guid(i / 16, 7) + "\"\n";
  if (i % 3 == 0) {
    AppendKeyLine(text, key + "\\NumMethods");
    *text += "@=\"" + std::to_string(3 + i % 40) + "\"\n";
  }
}

void AppendExtensionKey(std::string* text, unsigned i) {
  const std::string extension = "g" + std::to_string(i);
  AppendKeyLine(text, "Software\\Classes\\." + extension);
  *text += "@=\"" + extension + "file\"\n\"Content Type\"=\"application/x-" + extension + "\"\n";
  *text += "\"PerceivedType\"=\"document\"\n";
}

// A program identifier, spelt in capitals and small letters as they come
// ("CLRMetaData.CLRRuntimeHost" beside "chm.file"): sorted ignoring case,
// neighbouring names often differ first in the case of a letter.
void AppendProgIdKeys(std::string* text, unsigned i) {
  const std::string n = std::to_string(i);
  const std::string document = "Software\\Classes\\Gen" + n + ".Document";
  AppendKeyLine(text, document);
  *text += "@=\"Document " + n + "\"\n";
  AppendKeyLine(text, document + "\\CLSID");
  *text += "@=\"" + Guid(i, 7) + "\"\n";
  AppendKeyLine(text, "Software\\Classes\\gen" + n + "file\\shell\\open\\command");
  *text += "@=str(2):\"%SystemRoot%\\\\system32\\\\gen" + n + ".exe \\\"%1\\\"\"\n";
}

void AppendProgramKey(std::string* text, unsigned i) {
  const std::string n = std::to_string(i);
  AppendKeyLine(text, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Programme " + n);
  *text += "\"DisplayName\"=\"Programme d\\xe9mo " + n + "\"\n\"DisplayVersion\"=\"1." + n + "\"\n";
  *text += "\"UninstallString\"=str(2):\"%SystemRoot%\\\\system32\\\\uninst" + n + ".exe\"\n";
}

void AppendTimeZoneKey(std::string* text, unsigned i) {
  const std::string n = std::to_string(i);
  AppendKeyLine(text, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Time Zones\\Zone " + n);
  *text += "\"Display\"=\"(UTC+01:00) Zone " + n + " \\xe9t\\xe9\"\n\"Dlt\"=\"Zone " + n + " (heure d'\\xe9t\\xe9)\"\n";
  *text += "\"Std\"=\"Zone " + n + "\"\n\"TZI\"=hex:" + Hex2List(i, 44) + "\n";
}

void AppendServiceKey(std::string* text, unsigned i) {
  const std::string n = std::to_string(i);
  AppendKeyLine(text, "System\\CurrentControlSet\\Services\\GenSvc" + n);
  *text += "\"DisplayName\"=\"Service " + n + "\"\n\"ErrorControl\"=dword:00000001\n";
  *text += "\"ImagePath\"=str(2):\"C:\\\\windows\\\\system32\\\\gensvc" + n + ".exe\"\n";
  *text += "\"Start\"=dword:00000003\n\"Type\"=dword:00000010\n";
}

// The parts of a system.reg, each kept apart while it grows so that the file
// lists its keys grouped by path as Wine's does.
struct SystemSections {
  std::string extensions, classes, interfaces, programs, fonts, zones, services;

  size_t size() const {
    return extensions.size() + classes.size() + interfaces.size() + programs.size() + fonts.size() + zones.size() +
           services.size();
  }

  // One round: per class registration, about as many interfaces and other
  // keys as a new prefix has.
  void grow(unsigned round) {
    AppendClassKey(&classes, round);
    AppendInterfaceKeys(&interfaces, round);
    if (round % 4 == 0) AppendExtensionKey(&extensions, round / 4);
    if (round % 4 == 2) AppendProgIdKeys(&classes, round / 4);
    if (round % 3 == 0) AppendProgramKey(&programs, round / 3);
    if (round % 2 == 0) {
      fonts += "\"Police " + std::to_string(round / 2) + " (TrueType)\"=\"police" + std::to_string(round / 2) + ".ttf\"\n";
    }
    if (round % 8 == 0) AppendTimeZoneKey(&zones, round / 8);
    if (round % 16 == 0) AppendServiceKey(&services, round / 16);
  }

  std::string text() const {
    std::string all = extensions + classes + interfaces + programs;
    if (!fonts.empty()) {
      AppendKeyLine(&all, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts");
      all += fonts;
    }
    AppendKeyLine(&all, "Software\\Wine");
    all += "\"Version\"=\"8.0\"\n";
    return all + zones + services;
  }
};

std::string SystemKeys(size_t bytes) {
  SystemSections sections;
  for (unsigned round = 0; sections.size() < bytes; ++round) sections.grow(round);
  return sections.text();
}

// A settings key of a user's hive: a dozen values of every common kind.
void AppendSettingsKey(std::string* text, unsigned i) {
  static const char* const kAreas[] = {"Control Panel", "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer",
                                       "Software\\Wine"};
  const std::string n = std::to_string(i);
  AppendKeyLine(text, std::string(kAreas[i % 3]) + "\\Section " + n);
  for (int v = 0; v < 8; ++v) *text += "\"Couleur " + std::to_string(v) + "\"=\"" + std::to_string(i * v % 256) + " 128 64\"\n";
  *text += "\"Dossier\"=str(2):\"%USERPROFILE%\\\\Documents\\\\Dossier " + n + "\"\n";
  *text += "\"Taille\"=dword:" + Hex4(0) + Hex4(i * 17) + "\n\"Position\"=hex:" + Hex2List(i, 16) + "\n";
}

std::string UserKeys(size_t bytes) {
  std::string text;
  for (unsigned i = 0; text.size() < bytes; ++i) AppendSettingsKey(&text, i);
  return text;
}

// A key of a registry text: its line and the lines after it, up to the next
// key's line, and its path's components folded for sorting.
struct KeyBlock {
  std::vector<std::string> order;
  std::string text;
};

std::vector<std::string> FoldedComponents(const std::string& escapedPath) {
  std::vector<std::string> components(1);
  for (size_t i = 0; i < escapedPath.size(); ++i) {
    if (escapedPath.compare(i, 2, "\\\\") == 0) {
      components.emplace_back();
      ++i;
    } else {
      components.back() += char(std::tolower(static_cast<unsigned char>(escapedPath[i])));
    }
  }
  return components;
}

// Wine writes a hive's keys in its tree's order: each key right before its
// subkeys, siblings sorted ignoring case. The text (a header, then keys)
// comes back with its keys in that order, so that a reader meets generated
// files as it meets Wine's own.
std::string InWineOrder(const std::string& text) {
  size_t first = text.find("\n[");
  if (first == std::string::npos) return text;
  std::vector<KeyBlock> keys;
  for (size_t at = first; at != std::string::npos;) {
    const size_t next = text.find("\n[", at + 1);
    const size_t nameEnd = text.find(']', at);
    keys.push_back({FoldedComponents(text.substr(at + 2, nameEnd - at - 2)), text.substr(at, next - at)});
    at = next;
  }
  std::stable_sort(keys.begin(), keys.end(), [](const KeyBlock& a, const KeyBlock& b) { return a.order < b.order; });
  std::string sorted = text.substr(0, first);
  for (const KeyBlock& key : keys) sorted += key.text;
  return sorted;
}

// Writes the file as Wine's server does, through a stream of the standard
// library, one block of the file system at a time. How a file was written
// shows in the page cache: written in one piece, it is held in large pages
// that map at about twice the speed of the small ones Wine's writes leave.
void WriteAsWineDoes(const std::string& path, const std::string& bytes) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw std::runtime_error("cannot write " + path);
  constexpr size_t kBlock = 4096;
  bool written = true;
  for (size_t at = 0; written && at < bytes.size(); at += kBlock) {
    const size_t piece = std::min(kBlock, bytes.size() - at);
    written = write(fd, bytes.data() + at, piece) == static_cast<ssize_t>(piece);
  }
  if (close(fd) != 0 || !written) throw std::runtime_error("cannot write " + path);
}

// Adds text to the file, writing header first when the file is missing; the
// whole file is then written in Wine's key order.
void AppendToRegistryFile(const std::string& path, const char* header, const std::string& text) {
  std::string whole = header;
  if (std::filesystem::exists(path)) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream existing;
    existing << in.rdbuf();
    whole = existing.str();
  }
  whole += text;
  WriteAsWineDoes(path, InWineOrder(whole));
}

}  // namespace

const char kSystemRegHeader[] = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n";

std::string AppendClassKey(std::string* text, unsigned i) {
  const std::string key = "Software\\Classes\\CLSID\\" + Guid(i, 7) + (i % 3 ? "\\InprocServer32" : "");
  AppendKeyLine(text, key);
  const std::string dll = "C:\\\\windows\\\\system32\\\\comp" + std::to_string(i) + ".dll";
  *text += "@=\"" + dll + "\"\n";
  *text += "\"Caf\\xe9 " + std::to_string(i % 10) + "\"=\"Soci\\xe9t\\xe9 g\\xe9n\\xe9rale\"\n";
  *text += "\"Flags\"=dword:" + Hex4(0) + Hex4(i) + "\n";
  *text += "\"Data\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17,\\\n  18,19,1a\n";
  *text += "\"ThreadingModel\"=\"Both\"\n";
  return key;
}

size_t AppendWinebootShapedKeys(const std::string& prefixRoot, RegistrySizes extra) {
  const std::string system = prefixRoot + "/system.reg";
  AppendToRegistryFile(system, kSystemRegHeader, SystemKeys(extra.system));
  AppendToRegistryFile(prefixRoot + "/user.reg",
                       "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n",
                       UserKeys(extra.user));
  AppendToRegistryFile(prefixRoot + "/userdef.reg",
                       "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\.Default\n\n#arch=win64\n",
                       UserKeys(extra.userdef));
  return size_t(std::filesystem::file_size(system));
}

}  // namespace bench

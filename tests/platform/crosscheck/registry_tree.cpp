// Writes, checks or deletes one registry tree under HKEY_CURRENT_USER through
// the platform interface, so that a tree written by one implementation (the
// Windows build under Wine, or the prefix layer) can be read back through the
// other. Usage: registry_tree write|check|delete KEY. "check" prints every
// difference and exits 1 when there is one.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace {

using namespace platform;

struct Value {
  String key;  // below the root given on the command line, "" for the root
  String name;
  uint32_t type;
  std::string data;
};

// Every value type, accents and the euro sign in key and value names, the
// default value, empty data and data long enough to wrap in a .reg file.
std::vector<Value> Tree() {
  return {
      {u"", u"", kRegSz, RegistryStringData(u"défaut")},
      {u"", u"Filename", kRegSz, RegistryStringData(u"C:\\WKelvaro\\Torvida\\Programs\\WKTorvida2.dll")},
      {u"", u"Empty", kRegSz, RegistryStringData(u"")},
      {u"", u"DataDir", kRegExpandSz, RegistryStringData(u"%TEMP%\\Torvida")},
      {u"", u"Build", kRegDword, RegistryDwordData(1234)},
      {u"", u"Max", kRegDword, RegistryDwordData(0xFFFFFFFFu)},
      {u"", u"Big", kRegQword, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8)},
      {u"Société", u"Café Été", kRegSz, RegistryStringData(u"Prix : 5 € \"net\" [a]\\b")},
      {u"Société", u"Bin", kRegBinary, std::string("\x00\x01\xab\xff", 4)},
      {u"Société", u"NoData", kRegBinary, std::string()},
      {u"Société\\Données\\Dernière", u"Long", kRegBinary, std::string(300, '\x5a')},
      {u"Société\\Données\\Dernière", u"Multi", kRegMultiSz,
       std::string("o\0n\0e\0\0\0t\0w\0o\0\0\0\0\0", 18)},
      {u"Empty Key", u"", kRegNone, std::string()},  // a key without values
  };
}

String Widen(const char* utf8) {
  String out;
  for (const char* p = utf8; *p; ++p) out.push_back(char16_t(static_cast<unsigned char>(*p)));  // ASCII keys
  return out;
}

std::string Narrow(const String& s) {
  std::string out;
  for (char16_t c : s) {
    if (c < 0x80) out.push_back(char(c));
    else out += "\\u" + std::to_string(unsigned(c));
  }
  return out;
}

String Path(const String& root, const String& key) { return key.empty() ? root : root + u"\\" + key; }

int Write(const String& root) {
  for (const Value& v : Tree()) {
    RegistryKey key;
    uint32_t status = RegCreateKey(RegistryRoot::CurrentUser, Path(root, v.key), kKeyAllAccess, &key);
    if (status == kErrorSuccess && v.type != kRegNone) status = RegSetValue(key, v.name, v.type, v.data);
    if (status != kErrorSuccess) {
      std::printf("write %s \"%s\": error %u\n", Narrow(Path(root, v.key)).c_str(), Narrow(v.name).c_str(), status);
      return 1;
    }
  }
  return 0;
}

int Check(const String& root) {
  int differences = 0;
  for (const Value& v : Tree()) {
    RegistryKey key;
    const String path = Path(root, v.key);
    uint32_t status = RegOpenKey(RegistryRoot::CurrentUser, path, kKeyRead, &key);
    RegistryValue read;
    if (status == kErrorSuccess && v.type != kRegNone) status = RegQueryValue(key, v.name, &read);
    if (status != kErrorSuccess) {
      std::printf("%s \"%s\": error %u\n", Narrow(path).c_str(), Narrow(v.name).c_str(), status);
      ++differences;
    } else if (v.type != kRegNone && (read.type != v.type || read.data != v.data)) {
      std::printf("%s \"%s\": type %u, %zu bytes, expected type %u, %zu bytes\n", Narrow(path).c_str(),
                  Narrow(v.name).c_str(), read.type, read.data.size(), v.type, v.data.size());
      ++differences;
    }
  }
  // The missing stays missing, with the code Windows gives.
  RegistryKey key;
  const uint32_t missing = RegOpenKey(RegistryRoot::CurrentUser, root + u"\\Absent", kKeyRead, &key);
  if (missing != kErrorFileNotFound) {
    std::printf("missing key: error %u, expected %u\n", missing, kErrorFileNotFound);
    ++differences;
  }
  std::printf("%s: %d difference(s)\n", Narrow(root).c_str(), differences);
  return differences == 0 ? 0 : 1;
}

bool DeleteTree(const String& path) {
  RegistryKey key;
  if (RegOpenKey(RegistryRoot::CurrentUser, path, kKeyAllAccess, &key) != kErrorSuccess) return true;
  String child;
  while (RegEnumKey(key, 0, &child) == kErrorSuccess) {
    if (!DeleteTree(path + u"\\" + child)) return false;
  }
  key.Close();
  const size_t slash = path.rfind(u'\\');
  RegistryKey parent;
  if (RegOpenKey(RegistryRoot::CurrentUser, path.substr(0, slash), kKeyAllAccess, &parent) != kErrorSuccess) {
    return false;
  }
  return RegDeleteKey(parent, path.substr(slash + 1)) == kErrorSuccess;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || std::strchr(argv[2], '\\') == nullptr) {
    std::fprintf(stderr, "usage: registry_tree write|check|delete Software\\\\KEY\n");
    return 2;
  }
  const String root = Widen(argv[2]);
  const std::string mode = argv[1];
  if (mode == "write") return Write(root);
  if (mode == "check") return Check(root);
  if (mode == "delete") return DeleteTree(root) ? 0 : 1;
  std::fprintf(stderr, "unknown mode %s\n", argv[1]);
  return 2;
}

#include "platform/conformance.h"

#include <atomic>
#include <cctype>

#ifndef _WIN32
#include "fixtures/temp_prefix.h"
#endif

namespace conformance {

struct ConformanceTest::Environment {
#ifndef _WIN32
  fixtures::TempPrefix prefix;
#endif
};

namespace {

String CaseName() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "." + info->name();
  String out;
  for (char c : name) out.push_back(std::isalnum(static_cast<unsigned char>(c)) ? char16_t(c) : u'_');
  return out;
}

// Empties a folder, sub-folders and read-only files included.
void EmptyFolder(const String& folder) {
  for (const auto& entry : platform::FindFiles(folder, u"*")) {
    const String path = folder + entry.name;
    platform::SetFileAttributes(path, platform::kAttributeNormal);
    if (entry.attributes & platform::kAttributeDirectory) {
      EmptyFolder(path + u"\\");
      platform::RemoveDirectory(path);
    } else {
      platform::DeleteFile(path);
    }
  }
}

// Deletes a key of HKEY_CURRENT_USER and everything under it (RegDeleteKey
// takes only keys without sub-keys).
void DeleteKeyTree(const String& path) {
  platform::RegistryKey key;
  if (platform::RegOpenKey(platform::RegistryRoot::CurrentUser, path, platform::kKeyAllAccess, &key) !=
      platform::kErrorSuccess) {
    return;
  }
  String child;
  while (platform::RegEnumKey(key, 0, &child) == platform::kErrorSuccess) {
    DeleteKeyTree(path + u"\\" + child);
    platform::RegistryKey probe;
    // A sub-key that could not be deleted would make this loop endless.
    if (platform::RegOpenKey(platform::RegistryRoot::CurrentUser, path + u"\\" + child, platform::kKeyRead, &probe) ==
        platform::kErrorSuccess) {
      return;
    }
  }
  key.Close();
  const size_t slash = path.rfind(u'\\');
  platform::RegistryKey parent;
  if (platform::RegOpenKey(platform::RegistryRoot::CurrentUser, path.substr(0, slash), platform::kKeyAllAccess,
                           &parent) == platform::kErrorSuccess) {
    platform::RegDeleteKey(parent, path.substr(slash + 1));
  }
}

}  // namespace

void ConformanceTest::SetUp() {
  environment_ = std::make_shared<Environment>();
  static std::atomic<int> counter{0};
  String unique = CaseName() + u"_";
  for (char c : std::to_string(counter++)) unique.push_back(char16_t(c));
  sandbox_ = u"C:\\kelvaro-conformance\\" + unique + u"\\";
  ASSERT_TRUE(platform::CreateDirectoryTree(sandbox_)) << "error " << platform::GetLastError();
  registryKey_ = u"Software\\KelvaroConformance\\" + unique;
  // Leftovers of an earlier run of the same case (the Windows build reuses
  // one Wine prefix) go first.
  EmptyFolder(sandbox_);
  DeleteKeyTree(registryKey_);
}

void ConformanceTest::TearDown() {
  // The Windows build shares its prefix between runs: leave nothing behind.
  EmptyFolder(sandbox_);
  platform::RemoveDirectory(sandbox_.substr(0, sandbox_.size() - 1));
  DeleteKeyTree(registryKey_);
  environment_.reset();
}

void ConformanceTest::writeFile(const String& path, const std::string& bytes) {
  ASSERT_TRUE(platform::WriteFileContents(path, bytes)) << Utf8(path) << ": error " << platform::GetLastError();
}

std::string ConformanceTest::readFile(const String& path) {
  std::string bytes;
  EXPECT_TRUE(platform::ReadFileContents(path, &bytes)) << Utf8(path) << ": error " << platform::GetLastError();
  return bytes;
}

std::string Utf8(const String& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    uint32_t c = s[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size()) c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
    if (c < 0x80) out.push_back(char(c));
    else if (c < 0x800) { out.push_back(char(0xC0 | (c >> 6))); out.push_back(char(0x80 | (c & 0x3F))); }
    else if (c < 0x10000) { out.push_back(char(0xE0 | (c >> 12))); out.push_back(char(0x80 | ((c >> 6) & 0x3F))); out.push_back(char(0x80 | (c & 0x3F))); }
    else { out.push_back(char(0xF0 | (c >> 18))); out.push_back(char(0x80 | ((c >> 12) & 0x3F))); out.push_back(char(0x80 | ((c >> 6) & 0x3F))); out.push_back(char(0x80 | (c & 0x3F))); }
  }
  return out;
}

}  // namespace conformance

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

}  // namespace

void ConformanceTest::SetUp() {
  environment_ = std::make_shared<Environment>();
  static std::atomic<int> counter{0};
  String unique = CaseName() + u"_";
  for (char c : std::to_string(counter++)) unique.push_back(char16_t(c));
  sandbox_ = u"C:\\kelvaro-conformance\\" + unique + u"\\";
  ASSERT_TRUE(platform::CreateDirectoryTree(sandbox_)) << "error " << platform::GetLastError();
  // Leftovers of an earlier run of the same case (Windows build) go first.
  for (const auto& entry : platform::FindFiles(sandbox_, u"*")) {
    platform::SetFileAttributes(sandbox_ + entry.name, platform::kAttributeNormal);
    platform::DeleteFile(sandbox_ + entry.name);
  }
  registryKey_ = u"Software\\KelvaroConformance\\" + unique;
}

void ConformanceTest::TearDown() {
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

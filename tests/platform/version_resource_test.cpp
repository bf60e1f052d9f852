// Version resources of real PE files, made by the mingw-w64 tools while the
// tests build and copied into the sandbox byte for byte: the same cases run
// against our PE reader here and against GetFileVersionInfoW under Wine.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

#include "platform/conformance.h"
#include "platform/module_resources.h"

namespace conformance {
namespace {

std::string FixtureBytes(const std::string& name) {
  std::ifstream in(std::string(KELVARO_PE_FIXTURES) + "/" + name, std::ios::binary);
  EXPECT_TRUE(in) << "fixture " << name << " missing from " << KELVARO_PE_FIXTURES;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

uint32_t Read32(const void* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;  // the platforms this runs on are little-endian, like the format
}

class VersionResourceTest : public ConformanceTest {
 protected:
  // Copies the fixture into the sandbox; its Windows path.
  String install(const std::string& name) {
    const String path = inSandbox(String(name.begin(), name.end()));
    writeFile(path, FixtureBytes(name));
    return path;
  }

  std::optional<std::vector<uint8_t>> block(const String& path) {
    const uint32_t size = platform::GetFileVersionInfoSize(path);
    if (size == 0) return std::nullopt;
    std::vector<uint8_t> bytes;
    if (!platform::GetFileVersionInfo(path, size, &bytes)) return std::nullopt;
    return bytes;
  }

  std::optional<String> text(const std::vector<uint8_t>& bytes, const String& subBlock) {
    const void* pointer = nullptr;
    uint32_t length = 0;
    if (!platform::VerQueryValue(bytes, subBlock, &pointer, &length)) return std::nullopt;
    const auto* p = static_cast<const uint8_t*>(pointer);
    EXPECT_LE(p + length * 2, bytes.data() + bytes.size()) << "answer outside the block";
    String s(length, u'\0');
    std::memcpy(s.data(), p, length * 2);
    return s;
  }
};

struct FixedCase {
  const char* file;
  uint32_t ms;
  uint32_t ls;
};

TEST_F(VersionResourceTest, FixedFileInfoOf32And64BitFiles) {
  const FixedCase cases[] = {
      {"torvida_1_2_3_10.dll", 0x00010002, 0x0003000A}, {"torvida_1_2_3_9.dll", 0x00010002, 0x00030009},
      {"torvida_2_0_0_0.dll", 0x00020000, 0x00000000},  {"torvida_1_65535_0_0.dll", 0x0001FFFF, 0x00000000},
      {"german32.dll", 0x00030000, 0x000B8365},         {"fixed_only.dll", 0x00040003, 0x00020001},
  };
  for (const FixedCase& c : cases) {
    SCOPED_TRACE(c.file);
    const auto bytes = block(install(c.file));
    ASSERT_TRUE(bytes) << "error " << platform::GetLastError();
    const void* pointer = nullptr;
    uint32_t length = 0;
    ASSERT_TRUE(platform::VerQueryValue(*bytes, u"\\", &pointer, &length));
    ASSERT_EQ(length, 52u);
    EXPECT_EQ(Read32(pointer), 0xFEEF04BDu);
    EXPECT_EQ(Read32(static_cast<const uint8_t*>(pointer) + 8), c.ms);
    EXPECT_EQ(Read32(static_cast<const uint8_t*>(pointer) + 12), c.ls);
  }
}

TEST_F(VersionResourceTest, SizeLeavesRoomForTheBlockTwice) {
  const String path = install("torvida_1_2_3_10.dll");
  const uint32_t size = platform::GetFileVersionInfoSize(path);
  const auto bytes = block(path);
  ASSERT_TRUE(bytes);
  const uint32_t versionLength = (*bytes)[0] | ((*bytes)[1] << 8);
  EXPECT_EQ(bytes->size(), size);
  EXPECT_GE(size, versionLength * 2 + 4);
}

TEST_F(VersionResourceTest, TranslationTableGivesLanguageThenCodePage) {
  const struct {
    const char* file;
    uint32_t entry;
  } cases[] = {{"torvida_1_2_3_10.dll", 0x04E4040C}, {"german32.dll", 0x04B00407}, {"neutral.dll", 0x04B00000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const auto bytes = block(install(c.file));
    ASSERT_TRUE(bytes);
    const void* pointer = nullptr;
    uint32_t length = 0;
    ASSERT_TRUE(platform::VerQueryValue(*bytes, u"\\VarFileInfo\\Translation", &pointer, &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(Read32(pointer), c.entry);
  }
}

TEST_F(VersionResourceTest, StringsByKeyIgnoringCaseWithTheirTerminator) {
  const auto french = block(install("torvida_1_2_3_10.dll"));
  const auto german = block(install("german32.dll"));
  ASSERT_TRUE(french && german);
  const struct {
    const std::vector<uint8_t>& bytes;
    const char16_t* path;
    std::optional<String> expected;
  } cases[] = {
      {*french, u"\\StringFileInfo\\040C04E4\\FileVersion", String(u"1.2.3.10\0", 9)},
      {*french, u"\\StringFileInfo\\040C04E4\\CompanyName", String(u"KELVARO S.A.\0", 13)},
      {*french, u"\\StringFileInfo\\040C04E4\\LegalCopyRight", String(u"Copyright © KELVARO S.A. 1998-2026\0", 35)},
      {*french, u"\\stringfileinfo\\040c04e4\\productname", String(u"Torvida - Sociétés\0", 19)},
      {*french, u"\\StringFileInfo\\040C04E4\\Comments", String(u"Édition réseau\0", 15)},
      {*french, u"\\StringFileInfo\\040904E4\\FileVersion", std::nullopt},
      {*french, u"\\StringFileInfo\\040C04E4\\PrivateBuild", std::nullopt},
      {*german, u"\\StringFileInfo\\040704B0\\CompanyName", String(u"Müller & Söhne GmbH\0", 20)},
      {*german, u"\\StringFileInfo\\040704B0\\LegalTrademarks", String(u"Groß\0", 5)},
      {*german, u"\\StringFileInfo\\040704B0\\LegalTradeMark", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf8(c.path));
    EXPECT_EQ(text(c.bytes, c.path), c.expected);
  }
}

TEST_F(VersionResourceTest, MissingPathFailsWithLengthZero) {
  const auto bytes = block(install("fixed_only.dll"));
  ASSERT_TRUE(bytes);
  const void* pointer = nullptr;
  uint32_t length = 99;
  const bool found = platform::VerQueryValue(*bytes, u"\\VarFileInfo\\Translation", &pointer, &length);
  const uint32_t error = platform::GetLastError();
  EXPECT_FALSE(found);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(error, platform::kErrorResourceTypeNotFound);
}

TEST_F(VersionResourceTest, FilesWithoutVersionGiveSizeZeroAndAReason) {
  platform::CreateDirectoryTree(inSandbox(u"folder.dll"));
  writeFile(inSandbox(u"truncated.dll"), FixtureBytes("torvida_1_2_3_10.dll").substr(0, 700));
  // Windows gives the first code of each row; Wine gives 1812 for every file
  // it can open but not read a version from.
  const struct {
    String path;
    std::vector<uint32_t> errors;
  } cases[] = {
      {install("no_version.dll"), {platform::kErrorResourceTypeNotFound, platform::kErrorResourceDataNotFound}},
      {install("not_pe.dll"),
       {platform::kErrorBadExeFormat, platform::kErrorBadFormat, platform::kErrorResourceDataNotFound}},
      {inSandbox(u"truncated.dll"),
       {platform::kErrorBadExeFormat, platform::kErrorBadFormat, platform::kErrorResourceDataNotFound}},
      {inSandbox(u"missing.dll"), {platform::kErrorFileNotFound}},
      {inSandbox(u"no folder\\missing.dll"), {platform::kErrorPathNotFound}},
      {inSandbox(u"folder.dll"), {platform::kErrorAccessDenied}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf8(c.path));
    platform::SetLastError(0);
    EXPECT_EQ(platform::GetFileVersionInfoSize(c.path), 0u);
    EXPECT_NE(std::find(c.errors.begin(), c.errors.end(), platform::GetLastError()), c.errors.end())
        << "error " << platform::GetLastError();
  }
}

TEST_F(VersionResourceTest, KnownLanguagesHaveNames) {
  // The names themselves are the system's (French here, English under Wine).
  for (uint32_t language : {0x040Cu, 0x0409u, 0x0407u}) {
    EXPECT_FALSE(platform::VerLanguageName(language).empty()) << language;
  }
  EXPECT_NE(platform::VerLanguageName(0x040C), platform::VerLanguageName(0x0409));
}

}  // namespace
}  // namespace conformance

// The version block the wizard is built with, read back by the same version
// queries that read product libraries, and the version text it is made from.
#include <gtest/gtest.h>

#include <string>

#include "platform/prefix/version_resource.h"
#include "version_block.h"

namespace {

using kelvaro::VersionBlockContent;

uint32_t Word(const std::vector<uint8_t>& block, size_t at) {
  return uint32_t(block[at]) | uint32_t(block[at + 1]) << 8 | uint32_t(block[at + 2]) << 16 |
         uint32_t(block[at + 3]) << 24;
}

std::u16string Text(const std::vector<uint8_t>& block, const platform::pe::VersionValue& value) {
  std::u16string text;
  for (uint32_t i = 0; i + 1 < value.length; ++i) {
    text.push_back(char16_t(block[value.offset + 2 * i] | block[value.offset + 2 * i + 1] << 8));
  }
  return text;
}

TEST(VersionBlock, WhatIsWrittenReadsBack) {
  VersionBlockContent content;
  content.fileVersion = {1, 2, 3, 4};
  content.productVersion = {1, 2, 0, 0};
  content.strings = {{u"CompanyName", u"Kelvaro"}, {u"FileDescription", u"Mise \u00e0 jour Kelvaro"},
                     {u"FileVersion", u"1.2.3.4"}, {u"Comments", u""}};
  const std::vector<uint8_t> block = kelvaro::WriteVersionBlock(content);

  platform::pe::VersionValue value;
  ASSERT_EQ(platform::pe::QueryVersionValue(block, u"\\", &value), 0u);
  ASSERT_EQ(value.length, 52u);
  EXPECT_EQ(Word(block, value.offset), 0xFEEF04BDu);
  EXPECT_EQ(Word(block, value.offset + 8), 0x00010002u);   // file version, high words
  EXPECT_EQ(Word(block, value.offset + 12), 0x00030004u);  // low words
  EXPECT_EQ(Word(block, value.offset + 16), 0x00010002u);  // product version
  EXPECT_EQ(Word(block, value.offset + 20), 0u);

  ASSERT_EQ(platform::pe::QueryVersionValue(block, u"\\VarFileInfo\\Translation", &value), 0u);
  ASSERT_EQ(value.length, 4u);
  EXPECT_EQ(Word(block, value.offset), 0x04E4040Cu);

  for (const auto& [name, expected] : content.strings) {
    ASSERT_EQ(platform::pe::QueryVersionValue(block, u"\\StringFileInfo\\040C04E4\\" + name, &value), 0u)
        << std::string(name.begin(), name.end());
    EXPECT_EQ(Text(block, value), expected) << std::string(name.begin(), name.end());
  }
  EXPECT_NE(platform::pe::QueryVersionValue(block, u"\\StringFileInfo\\040C04E4\\ProductName", &value), 0u);
  // The block's length is the whole block, which ends on a 32-bit boundary.
  EXPECT_EQ(size_t(block[0] | block[1] << 8), block.size());
  EXPECT_EQ(block.size() % 4, 0u);
}

TEST(VersionBlock, VersionTextBecomesFourWords) {
  const struct {
    const char* text;
    bool valid;
    std::array<uint16_t, 4> words;
  } cases[] = {
      {"1.0", true, {1, 0, 0, 0}},      {"1.2.3.4", true, {1, 2, 3, 4}}, {"7", true, {7, 0, 0, 0}},
      {"65535.0", true, {65535, 0, 0, 0}}, {"", false, {}},             {"1.", false, {}},
      {".1", false, {}},                {"1..2", false, {}},             {"1.2.3.4.5", false, {}},
      {"65536", false, {}},             {"1,2", false, {}},              {"-1", false, {}},
      {" 1", false, {}},                {"1.2a", false, {}},
  };
  for (const auto& c : cases) {
    std::array<uint16_t, 4> words{9, 9, 9, 9};
    EXPECT_EQ(kelvaro::ParseVersionWords(c.text, &words), c.valid) << c.text;
    if (c.valid) {
      EXPECT_EQ(words, c.words) << c.text;
    }
  }
}

}  // namespace

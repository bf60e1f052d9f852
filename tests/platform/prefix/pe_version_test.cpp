// The PE version reader on hand-made images and blocks: the well-formed
// shapes it must read (32- and 64-bit) and the damaged ones it must refuse
// without reading outside the data.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/prefix/pe_image.h"
#include "platform/prefix/pe_resources.h"
#include "platform/prefix/version_resource.h"

namespace {

using platform::pe::MemorySource;
using platform::pe::QueryVersionValue;
using platform::pe::ResourceLocation;
using platform::pe::VersionValue;
using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, size_t at, uint16_t v) {
  if (b.size() < at + 2) b.resize(at + 2);
  b[at] = uint8_t(v);
  b[at + 1] = uint8_t(v >> 8);
}

void Put32(Bytes& b, size_t at, uint32_t v) {
  Put16(b, at, uint16_t(v));
  Put16(b, at + 2, uint16_t(v >> 16));
}

void Align4(Bytes& b) {
  while (b.size() % 4) b.push_back(0);
}

// One node of a version block: wLength, wValueLength, wType, key, value,
// children, each part aligned on 4 bytes as the format wants.
Bytes Node(const std::u16string& key, const Bytes& value, uint16_t valueLength, bool text,
           const std::vector<Bytes>& children = {}) {
  Bytes b(6, 0);
  for (char16_t c : key) b.insert(b.end(), {uint8_t(c), uint8_t(c >> 8)});
  b.insert(b.end(), {0, 0});
  Align4(b);
  b.insert(b.end(), value.begin(), value.end());
  for (const Bytes& child : children) {
    Align4(b);
    b.insert(b.end(), child.begin(), child.end());
  }
  Put16(b, 0, uint16_t(b.size()));
  Put16(b, 2, valueLength);
  Put16(b, 4, text ? 1 : 0);
  return b;
}

Bytes Text(const std::u16string& s) {
  Bytes b;
  for (char16_t c : s) b.insert(b.end(), {uint8_t(c), uint8_t(c >> 8)});
  b.insert(b.end(), {0, 0});
  return b;
}

Bytes StringNode(const std::u16string& key, const std::u16string& value) {
  return Node(key, Text(value), uint16_t(value.size() + 1), true);
}

Bytes FixedFileInfo(uint32_t ms, uint32_t ls) {
  Bytes b(52, 0);
  Put32(b, 0, 0xFEEF04BD);
  Put32(b, 4, 0x00010000);
  Put32(b, 8, ms);
  Put32(b, 12, ls);
  return b;
}

// The block a resource compiler makes for a French library of version
// 1.2.3.10 with two strings.
Bytes SampleBlock() {
  Bytes translation;
  Put32(translation, 0, 0x04E4040C);
  return Node(u"VS_VERSION_INFO", FixedFileInfo(0x00010002, 0x0003000A), 52, false,
              {Node(u"StringFileInfo", {}, 0, true,
                    {Node(u"040C04E4", {}, 0, true,
                          {StringNode(u"CompanyName", u"KELVARO S.A."), StringNode(u"FileVersion", u"1.2.3.10")})}),
               Node(u"VarFileInfo", {}, 0, true, {Node(u"Translation", translation, 4, false)})});
}

// A PE image with one section, .rsrc, holding a resource directory of one
// type, one name and one language, whose data is the given block.
// Each language gets its own data entry; entry i announces the block's size
// minus i, so that the size found tells which language was chosen.
struct ImageLayout {
  bool is64 = true;
  std::vector<uint16_t> languages = {0x040C};
};

constexpr size_t kPeOffset = 0x40;
constexpr size_t kSectionRaw = 0x200;
constexpr uint32_t kSectionRva = 0x1000;
// Offsets inside the resource section.
// Offsets inside the resource section: room for four languages.
constexpr size_t kTypeDir = 0x00, kNameDir = 0x18, kLangDir = 0x30, kDataEntry = 0x70, kData = 0xB0;

size_t OptionalHeaderSize(bool is64) { return is64 ? 0xF0 : 0xE0; }
size_t SectionTable(bool is64) { return kPeOffset + 24 + OptionalHeaderSize(is64); }
size_t ResourceDataDirectory(bool is64) { return kPeOffset + 24 + (is64 ? 112 : 96) + 2 * 8; }
size_t DataEntryOffset() { return kSectionRaw + kDataEntry; }

Bytes Image(const Bytes& block, const ImageLayout& layout = {}) {
  Bytes b(kSectionRaw, 0);
  b[0] = 'M';
  b[1] = 'Z';
  Put32(b, 0x3C, kPeOffset);
  std::memcpy(b.data() + kPeOffset, "PE\0\0", 4);
  const size_t header = kPeOffset + 4;
  Put16(b, header, layout.is64 ? 0x8664 : 0x14C);
  Put16(b, header + 2, 1);
  Put16(b, header + 16, uint16_t(OptionalHeaderSize(layout.is64)));
  const size_t optional = header + 20;
  Put16(b, optional, layout.is64 ? 0x20B : 0x10B);
  Put32(b, optional + (layout.is64 ? 108 : 92), 16);

  Bytes rsrc(kData, 0);
  auto entry = [&](size_t directory, size_t index, uint32_t id, uint32_t target) {
    Put16(rsrc, directory + 14, uint16_t(index + 1));
    Put32(rsrc, directory + 16 + 8 * index, id);
    Put32(rsrc, directory + 20 + 8 * index, target);
  };
  entry(kTypeDir, 0, 16, 0x80000000 | kNameDir);
  entry(kNameDir, 0, 1, 0x80000000 | kLangDir);
  for (size_t i = 0; i < layout.languages.size(); ++i) {
    entry(kLangDir, i, layout.languages[i], uint32_t(kDataEntry + 16 * i));
    Put32(rsrc, kDataEntry + 16 * i, kSectionRva + kData);
    Put32(rsrc, kDataEntry + 16 * i + 4, uint32_t(block.size() - i));
  }
  rsrc.insert(rsrc.end(), block.begin(), block.end());
  while (rsrc.size() % 0x200) rsrc.push_back(0);

  Put32(b, ResourceDataDirectory(layout.is64), kSectionRva);
  Put32(b, ResourceDataDirectory(layout.is64) + 4, uint32_t(rsrc.size()));
  const size_t section = SectionTable(layout.is64);
  std::memcpy(b.data() + section, ".rsrc", 5);
  Put32(b, section + 8, uint32_t(rsrc.size()));
  Put32(b, section + 12, kSectionRva);
  Put32(b, section + 16, uint32_t(rsrc.size()));
  Put32(b, section + 20, kSectionRaw);
  b.insert(b.end(), rsrc.begin(), rsrc.end());
  return b;
}

uint32_t Find(const Bytes& image, ResourceLocation* location) {
  MemorySource source(image);
  return platform::pe::FindVersionResource(source, location);
}

size_t ReadLength(const Bytes& b, size_t at) { return platform::pe::ReadU16(b.data() + at); }

std::u16string StringAt(const Bytes& block, const VersionValue& value) {
  std::u16string s(value.length, u'\0');
  std::memcpy(s.data(), block.data() + value.offset, value.length * 2);
  return s;
}

TEST(PeVersionImage, FindsTheBlockIn32And64BitImages) {
  const Bytes block = SampleBlock();
  for (bool is64 : {false, true}) {
    SCOPED_TRACE(is64 ? "PE32+" : "PE32");
    ImageLayout layout;
    layout.is64 = is64;
    const Bytes image = Image(block, layout);
    ResourceLocation location;
    ASSERT_EQ(Find(image, &location), platform::kErrorSuccess);
    EXPECT_EQ(location.fileOffset, kSectionRaw + kData);
    EXPECT_EQ(location.size, block.size());
    EXPECT_EQ(platform::pe::VersionInfoSizeFor(location.size), block.size() * 2 + 4);
  }
}

TEST(PeVersionImage, CopiesTheBlockWithTheAnsiSignatureAfterIt) {
  const Bytes block = SampleBlock();
  const Bytes image = Image(block);
  MemorySource source(image);
  ResourceLocation location;
  ASSERT_EQ(platform::pe::FindVersionResource(source, &location), platform::kErrorSuccess);
  Bytes copy;
  ASSERT_TRUE(platform::pe::CopyVersionBlock(source, location, platform::pe::VersionInfoSizeFor(location.size), &copy));
  ASSERT_EQ(copy.size(), block.size() * 2 + 4);
  EXPECT_TRUE(std::equal(block.begin(), block.end(), copy.begin()));
  EXPECT_EQ(std::string(copy.begin() + block.size(), copy.begin() + block.size() + 4), "FE2X");
  // A buffer smaller than the block gets what fits, and no signature.
  ASSERT_TRUE(platform::pe::CopyVersionBlock(source, location, 10, &copy));
  EXPECT_TRUE(std::equal(copy.begin(), copy.end(), block.begin()));
}

TEST(PeVersionImage, ChoosesTheLanguageAsAFrenchWindows) {
  // The sizes tell which entry was taken: block size minus its index.
  struct Case {
    std::vector<uint16_t> languages;
    size_t chosen;
  };
  const std::vector<Case> cases = {
      {{0x0409, 0x040C}, 1},          // French before English, wherever listed
      {{0x0409, 0x040C, 0x0000}, 2},  // neutral before French
      {{0x0407, 0x0409}, 1},          // English before another language
      {{0x0407, 0x0410}, 0},          // else the first one
  };
  const Bytes block = SampleBlock();
  for (const Case& c : cases) {
    ImageLayout layout;
    layout.languages = c.languages;
    ResourceLocation location;
    ASSERT_EQ(Find(Image(block, layout), &location), platform::kErrorSuccess);
    EXPECT_EQ(location.size, block.size() - c.chosen) << "languages[0]=" << c.languages[0];
  }
}

// A damaged image: a change to the well-formed one and the error it must give.
struct Damage {
  const char* what;
  std::function<void(Bytes&)> apply;
  uint32_t error;
};

TEST(PeVersionImage, RefusesDamagedImagesWithTheirError) {
  const bool is64 = true;
  const std::vector<Damage> damages = {
      {"not MZ", [](Bytes& b) { b[0] = 'X'; }, platform::kErrorBadExeFormat},
      {"e_lfanew past the end", [](Bytes& b) { Put32(b, 0x3C, 0xFFFFFFF0); }, platform::kErrorBadExeFormat},
      {"no PE signature", [](Bytes& b) { b[kPeOffset] = 'N'; }, platform::kErrorBadExeFormat},
      {"unknown optional header", [](Bytes& b) { Put16(b, kPeOffset + 24, 0x107); }, platform::kErrorBadExeFormat},
      {"65535 sections in a small file", [](Bytes& b) { Put16(b, kPeOffset + 6, 0xFFFF); },
       platform::kErrorBadExeFormat},
      {"optional header larger than the file", [](Bytes& b) { Put16(b, kPeOffset + 20, 0xFFFF); },
       platform::kErrorBadExeFormat},
      {"no resource directory", [](Bytes& b) { Put32(b, ResourceDataDirectory(is64) + 4, 0); },
       platform::kErrorResourceDataNotFound},
      {"resource directory outside every section",
       [](Bytes& b) { Put32(b, ResourceDataDirectory(is64), 0x50000); }, platform::kErrorResourceDataNotFound},
      {"root entry count beyond the section", [](Bytes& b) { Put16(b, kSectionRaw + kTypeDir + 14, 0xFFFF); },
       platform::kErrorResourceDataNotFound},
      {"no version type", [](Bytes& b) { Put32(b, kSectionRaw + kTypeDir + 16, 10); },
       platform::kErrorResourceTypeNotFound},
      {"version type named by a string",
       [](Bytes& b) { Put32(b, kSectionRaw + kTypeDir + 16, 0x80000000 | 16); }, platform::kErrorResourceTypeNotFound},
      {"version resource not named 1", [](Bytes& b) { Put32(b, kSectionRaw + kNameDir + 16, 2); },
       platform::kErrorResourceNameNotFound},
      {"no language", [](Bytes& b) { Put16(b, kSectionRaw + kLangDir + 14, 0); },
       platform::kErrorResourceNameNotFound},
      {"type entry points to data", [](Bytes& b) { Put32(b, kSectionRaw + kTypeDir + 20, kNameDir); },
       platform::kErrorBadFormat},
      {"language entry loops back to the root",
       [](Bytes& b) { Put32(b, kSectionRaw + kNameDir + 20, 0x80000000 | kTypeDir); }, platform::kErrorBadFormat},
      {"type entry loops to itself",
       [](Bytes& b) { Put32(b, kSectionRaw + kTypeDir + 20, 0x80000000 | kTypeDir); }, platform::kErrorResourceNameNotFound},
      {"subdirectory past the section",
       [](Bytes& b) { Put32(b, kSectionRaw + kTypeDir + 20, 0x80000000 | 0x7FFFFFF0); }, platform::kErrorBadFormat},
      {"data entry past the section", [](Bytes& b) { Put32(b, kSectionRaw + kLangDir + 20, 0x7FFFFFF0); },
       platform::kErrorBadFormat},
      {"data outside every section", [](Bytes& b) { Put32(b, DataEntryOffset(), 0x90000); },
       platform::kErrorBadFormat},
      {"data size that wraps", [](Bytes& b) { Put32(b, DataEntryOffset() + 4, 0xFFFFFFFF); },
       platform::kErrorBadFormat},
      {"data running past the section", [](Bytes& b) { Put32(b, DataEntryOffset() + 4, 0x1000); },
       platform::kErrorBadFormat},
      {"section raw data past the end of the file",
       [](Bytes& b) { Put32(b, SectionTable(is64) + 20, 0x100000); }, platform::kErrorResourceDataNotFound},
  };
  const Bytes good = Image(SampleBlock());
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.what);
    Bytes image = good;
    damage.apply(image);
    ResourceLocation location;
    EXPECT_EQ(Find(image, &location), damage.error);
  }
}

TEST(PeVersionImage, EveryTruncationIsRefusedNotOverread) {
  // Each prefix of a good image is either refused or, once the block is whole,
  // found; the vector's exact size lets AddressSanitizer catch any overread.
  const Bytes good = Image(SampleBlock());
  ResourceLocation location;
  for (size_t length = 0; length < good.size(); ++length) {
    const Bytes cut(good.begin(), good.begin() + std::ptrdiff_t(length));
    const uint32_t error = Find(cut, &location);
    if (length < kSectionRaw + kData + SampleBlock().size()) {
      EXPECT_NE(error, platform::kErrorSuccess) << length;
    }
  }
}

// --- Queries on the block ----------------------------------------------------

struct Query {
  std::u16string path;
  uint32_t error;
  uint32_t length;
};

TEST(PeVersionBlock, AnswersPathsLikeVerQueryValue) {
  const Bytes block = SampleBlock();
  const std::vector<Query> queries = {
      {u"\\", platform::kErrorSuccess, 52},
      {u"", platform::kErrorSuccess, 52},
      {u"\\VarFileInfo\\Translation", platform::kErrorSuccess, 4},
      {u"\\StringFileInfo\\040C04E4\\CompanyName", platform::kErrorSuccess, 13},
      {u"\\stringfileinfo\\040c04e4\\COMPANYNAME", platform::kErrorSuccess, 13},
      {u"\\\\StringFileInfo\\\\040C04E4\\FileVersion\\", platform::kErrorSuccess, 9},
      {u"StringFileInfo\\040C04E4\\FileVersion", platform::kErrorSuccess, 9},
      {u"\\StringFileInfo\\040C04E4\\Comments", platform::kErrorResourceTypeNotFound, 0},
      {u"\\StringFileInfo\\040904E4\\FileVersion", platform::kErrorResourceTypeNotFound, 0},
      {u"\\StringFileInfo\\040C04E4\\FileVersio", platform::kErrorResourceTypeNotFound, 0},
      {u"\\VarFileInfo\\Translation\\More", platform::kErrorResourceTypeNotFound, 0},
  };
  for (const Query& query : queries) {
    SCOPED_TRACE(std::string(query.path.begin(), query.path.end()));
    VersionValue value;
    ASSERT_EQ(QueryVersionValue(block, query.path, &value), query.error);
    if (query.error == platform::kErrorSuccess) {
      EXPECT_EQ(value.length, query.length);
    }
  }
  VersionValue value;
  ASSERT_EQ(QueryVersionValue(block, u"\\StringFileInfo\\040C04E4\\FileVersion", &value), platform::kErrorSuccess);
  EXPECT_EQ(StringAt(block, value), std::u16string(u"1.2.3.10\0", 9));
  ASSERT_EQ(QueryVersionValue(block, u"\\VarFileInfo\\Translation", &value), platform::kErrorSuccess);
  EXPECT_EQ(platform::pe::ReadU32(block.data() + value.offset), 0x04E4040Cu);
}

TEST(PeVersionBlock, AccentedKeysCompareIgnoringCase) {
  const Bytes block = Node(u"VS_VERSION_INFO", FixedFileInfo(1, 2), 52, false,
                           {Node(u"StringFileInfo", {}, 0, true,
                                 {Node(u"040C04E4", {}, 0, true, {StringNode(u"Société", u"oui")})})});
  VersionValue value;
  EXPECT_EQ(QueryVersionValue(block, u"\\StringFileInfo\\040C04E4\\SOCIÉTÉ", &value), platform::kErrorSuccess);
}

TEST(PeVersionBlock, DamagedNodesAreNotFoundOrCut) {
  const Bytes good = SampleBlock();
  // Where the first string node ("CompanyName") starts in the sample block.
  const size_t company = [&] {
    const std::u16string key = u"CompanyName";
    for (size_t i = 0; i + key.size() * 2 < good.size(); i += 2) {
      if (std::memcmp(good.data() + i, Text(key).data(), key.size() * 2) == 0) return i - 6;
    }
    return size_t(0);
  }();
  ASSERT_NE(company, 0u);

  VersionValue value;
  const std::u16string companyPath = u"\\StringFileInfo\\040C04E4\\CompanyName";
  const std::u16string versionPath = u"\\StringFileInfo\\040C04E4\\FileVersion";

  Bytes zeroLength = good;
  Put16(zeroLength, company, 0);
  EXPECT_EQ(QueryVersionValue(zeroLength, versionPath, &value), platform::kErrorResourceTypeNotFound)
      << "a node of length 0 ends the walk";

  Bytes overstated = good;
  Put16(overstated, company + 2, 0xFFFF);
  ASSERT_EQ(QueryVersionValue(overstated, companyPath, &value), platform::kErrorSuccess);
  EXPECT_LE(value.offset + value.length * 2, company + ReadLength(overstated, company));
  EXPECT_EQ(QueryVersionValue(overstated, versionPath, &value), platform::kErrorSuccess)
      << "the sibling is still found: nodes advance by wLength";

  Bytes binary = good;
  Put16(binary, company + 4, 0);  // wType 0: the 13 of wValueLength are bytes
  ASSERT_EQ(QueryVersionValue(binary, companyPath, &value), platform::kErrorSuccess);
  EXPECT_EQ(value.length, 13u);
  EXPECT_EQ(value.bytes, 13u);

  Bytes unterminated = good;
  for (size_t i = company + 6; i < company + ReadLength(good, company); i += 2) Put16(unterminated, i, u'X');
  EXPECT_EQ(QueryVersionValue(unterminated, companyPath, &value), platform::kErrorResourceTypeNotFound);

  Bytes longChild = good;
  Put16(longChild, company, 0xFFF0);
  EXPECT_EQ(QueryVersionValue(longChild, companyPath, &value), platform::kErrorSuccess);
  EXPECT_LE(value.offset + value.length * 2, good.size());

  Bytes sixteenBit = good;
  sixteenBit[4] = 'V';
  EXPECT_EQ(QueryVersionValue(sixteenBit, u"\\", &value), platform::kErrorInvalidData);
  EXPECT_EQ(QueryVersionValue(Bytes{}, u"\\", &value), platform::kErrorInvalidData);
}

TEST(PeVersionBlock, EveryTruncationStaysInsideTheBlock) {
  const Bytes good = SampleBlock();
  const std::u16string paths[] = {u"\\", u"\\VarFileInfo\\Translation", u"\\StringFileInfo\\040C04E4\\FileVersion"};
  for (size_t length = 0; length <= good.size(); ++length) {
    const Bytes cut(good.begin(), good.begin() + std::ptrdiff_t(length));
    for (const auto& path : paths) {
      const size_t unit = path.find(u"StringFileInfo") != std::u16string::npos ? 2 : 1;
      VersionValue value;
      if (QueryVersionValue(cut, path, &value) == platform::kErrorSuccess) {
        EXPECT_EQ(value.bytes, value.length * unit);
        EXPECT_LE(value.offset + value.bytes, cut.size()) << length;
      }
    }
  }
}

}  // namespace

// Finding a named section of an ELF file: in a real program, and in a small
// hand-made file whose damaged variants find nothing and read nothing
// outside the data.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "platform/prefix/elf_sections.h"

namespace {

using Bytes = std::vector<uint8_t>;
using platform::pe::MemorySource;
using platform::pe::ResourceLocation;

void Put16(Bytes& b, size_t at, uint16_t v) {
  b[at] = uint8_t(v);
  b[at + 1] = uint8_t(v >> 8);
}
void Put32(Bytes& b, size_t at, uint32_t v) {
  Put16(b, at, uint16_t(v));
  Put16(b, at + 2, uint16_t(v >> 16));
}
void Put64(Bytes& b, size_t at, uint64_t v) {
  Put32(b, at, uint32_t(v));
  Put32(b, at + 4, uint32_t(v >> 32));
}

// Header, then the section names, then the version bytes "ABCD", then three
// section headers: the empty one, the names, the version section.
constexpr size_t kNames = 64;
constexpr char kNameTable[] = "\0.shstrtab\0.kelvaro.version";  // 28 bytes with the final terminator
constexpr size_t kNamesSize = sizeof kNameTable;
constexpr size_t kData = kNames + kNamesSize;  // 92
constexpr size_t kTable = 96;
constexpr size_t kShstrtabHeader = kTable + 64;
constexpr size_t kVersionHeader = kTable + 128;

Bytes SmallElf() {
  Bytes b(kTable + 3 * 64, 0);
  const uint8_t ident[] = {0x7F, 'E', 'L', 'F', 2, 1, 1};
  std::copy(std::begin(ident), std::end(ident), b.begin());
  Put64(b, 0x28, kTable);  // e_shoff
  Put16(b, 0x3A, 64);      // e_shentsize
  Put16(b, 0x3C, 3);       // e_shnum
  Put16(b, 0x3E, 1);       // e_shstrndx
  std::copy(kNameTable, kNameTable + kNamesSize, b.begin() + kNames);
  std::copy_n("ABCD", 4, b.begin() + kData);
  Put32(b, kShstrtabHeader, 1);  // ".shstrtab"
  Put32(b, kShstrtabHeader + 4, 3);  // SHT_STRTAB
  Put64(b, kShstrtabHeader + 0x18, kNames);
  Put64(b, kShstrtabHeader + 0x20, kNamesSize);
  Put32(b, kVersionHeader, 11);  // ".kelvaro.version"
  Put32(b, kVersionHeader + 4, 1);  // SHT_PROGBITS
  Put64(b, kVersionHeader + 0x18, kData);
  Put64(b, kVersionHeader + 0x20, 4);
  return b;
}

bool Find(const Bytes& bytes, ResourceLocation* location) {
  return platform::elf::FindSection(MemorySource(bytes), platform::elf::kVersionSection, location);
}

TEST(ElfSections, TheVersionSectionOfASmallFileIsFound) {
  ResourceLocation location;
  ASSERT_TRUE(Find(SmallElf(), &location));
  EXPECT_EQ(location.fileOffset, kData);
  EXPECT_EQ(location.size, 4u);
}

TEST(ElfSections, ARealProgramHasItsSectionsAndNoneMadeUp) {
  std::ifstream self("/proc/self/exe", std::ios::binary);
  const Bytes bytes((std::istreambuf_iterator<char>(self)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(bytes.empty());
  const MemorySource source(bytes);
  ResourceLocation location;
  ASSERT_TRUE(platform::elf::FindSection(source, ".text", &location));
  EXPECT_GT(location.size, 0u);
  EXPECT_FALSE(platform::elf::FindSection(source, ".bss", &location));  // no bytes in the file
  EXPECT_FALSE(platform::elf::FindSection(source, platform::elf::kVersionSection, &location));
}

TEST(ElfSections, DamagedFilesFindNothing) {
  const struct {
    const char* damage;
    std::function<void(Bytes&)> apply;
  } cases[] = {
      {"not ELF", [](Bytes& b) { b[1] = 'X'; }},
      {"32-bit", [](Bytes& b) { b[4] = 1; }},
      {"big-endian", [](Bytes& b) { b[5] = 2; }},
      {"cut inside the header", [](Bytes& b) { b.resize(40); }},
      {"section table past the end", [](Bytes& b) { Put64(b, 0x28, b.size() - 64); }},
      {"section table offset wrapping", [](Bytes& b) { Put64(b, 0x28, ~uint64_t(0) - 10); }},
      {"entries too small", [](Bytes& b) { Put16(b, 0x3A, 32); }},
      {"no sections", [](Bytes& b) { Put16(b, 0x3C, 0); }},
      {"names index past the table", [](Bytes& b) { Put16(b, 0x3E, 3); }},
      {"names past the end", [](Bytes& b) { Put64(b, kShstrtabHeader + 0x20, 1u << 20); }},
      {"names without bytes", [](Bytes& b) { Put32(b, kShstrtabHeader + 4, 8); }},
      {"name offset past the names", [](Bytes& b) { Put32(b, kVersionHeader, 200); }},
      {"name cut by the end of the names", [](Bytes& b) { Put64(b, kShstrtabHeader + 0x20, kNamesSize - 1); }},
      {"section past the end", [](Bytes& b) { Put64(b, kVersionHeader + 0x20, 1u << 20); }},
      {"section size wrapping", [](Bytes& b) { Put64(b, kVersionHeader + 0x18, ~uint64_t(0)); }},
      {"section without bytes", [](Bytes& b) { Put32(b, kVersionHeader + 4, 8); }},
      {"file cut before the last header", [](Bytes& b) { b.resize(kVersionHeader + 10); }},
  };
  for (const auto& c : cases) {
    Bytes bytes = SmallElf();
    c.apply(bytes);
    ResourceLocation location;
    EXPECT_FALSE(Find(bytes, &location)) << c.damage;
  }
}

}  // namespace

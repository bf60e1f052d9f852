#include "platform/prefix/elf_sections.h"

#include <array>
#include <cstring>
#include <limits>
#include <vector>

namespace platform::elf {
namespace {

constexpr size_t kHeaderSize = 64;           // Elf64_Ehdr
constexpr size_t kSectionHeaderSize = 64;    // Elf64_Shdr
constexpr uint32_t kSectionWithoutBytes = 8;  // SHT_NOBITS

uint64_t ReadU64(const uint8_t* p) { return uint64_t(pe::ReadU32(p)) | uint64_t(pe::ReadU32(p + 4)) << 32; }

bool Fits(const pe::ByteSource& source, uint64_t offset, uint64_t size) {
  return offset <= source.size() && size <= source.size() - offset;
}

struct SectionHeader {
  uint32_t name = 0;  // offset in the section-name table
  uint32_t type = 0;
  uint64_t offset = 0;
  uint64_t size = 0;
};

SectionHeader ReadSectionHeader(const uint8_t* p) {
  return {pe::ReadU32(p), pe::ReadU32(p + 4), ReadU64(p + 0x18), ReadU64(p + 0x20)};
}

// The name at offset in the table, if it ends inside the table.
bool NameAt(const std::vector<uint8_t>& names, uint32_t offset, std::string_view* name) {
  if (offset >= names.size()) return false;
  const auto* start = reinterpret_cast<const char*>(names.data() + offset);
  const void* end = std::memchr(start, '\0', names.size() - offset);
  if (!end) return false;
  *name = std::string_view(start, size_t(static_cast<const char*>(end) - start));
  return true;
}

}  // namespace

bool FindSection(const pe::ByteSource& source, std::string_view name, pe::ResourceLocation* location) {
  std::array<uint8_t, kHeaderSize> header{};
  if (!source.read(0, header.data(), header.size())) return false;
  static constexpr uint8_t kMagic[] = {0x7F, 'E', 'L', 'F', 2 /* 64-bit */, 1 /* little-endian */};
  if (std::memcmp(header.data(), kMagic, sizeof kMagic) != 0) return false;
  const uint64_t tableOffset = ReadU64(&header[0x28]);
  const uint16_t entrySize = pe::ReadU16(&header[0x3A]);
  const uint16_t count = pe::ReadU16(&header[0x3C]);
  const uint16_t namesIndex = pe::ReadU16(&header[0x3E]);
  if (entrySize < kSectionHeaderSize || count == 0 || namesIndex >= count) return false;
  if (!Fits(source, tableOffset, uint64_t(entrySize) * count)) return false;

  std::vector<uint8_t> table(size_t(entrySize) * count);
  if (!source.read(tableOffset, table.data(), table.size())) return false;
  const SectionHeader namesHeader = ReadSectionHeader(&table[size_t(namesIndex) * entrySize]);
  if (namesHeader.type == kSectionWithoutBytes || !Fits(source, namesHeader.offset, namesHeader.size)) return false;
  std::vector<uint8_t> names(namesHeader.size);
  if (!source.read(namesHeader.offset, names.data(), names.size())) return false;

  for (uint16_t i = 0; i < count; ++i) {
    const SectionHeader section = ReadSectionHeader(&table[size_t(i) * entrySize]);
    std::string_view sectionName;
    if (!NameAt(names, section.name, &sectionName) || sectionName != name) continue;
    if (section.type == kSectionWithoutBytes || !Fits(source, section.offset, section.size) ||
        section.size > std::numeric_limits<uint32_t>::max()) {
      return false;
    }
    *location = {section.offset, uint32_t(section.size)};
    return true;
  }
  return false;
}

}  // namespace platform::elf

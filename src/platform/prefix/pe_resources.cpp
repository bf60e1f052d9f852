#include "platform/prefix/pe_resources.h"

#include <optional>
#include <vector>

namespace platform::pe {
namespace {

constexpr uint64_t kDirectoryHeaderSize = 16;
constexpr uint64_t kEntrySize = 8;
constexpr uint64_t kDataEntrySize = 16;
constexpr uint32_t kSubdirectoryFlag = 0x80000000;
constexpr uint32_t kNameIsStringFlag = 0x80000000;

struct Entry {
  uint32_t name = 0;    // a numeric id, or kNameIsStringFlag | string offset
  uint32_t target = 0;  // kSubdirectoryFlag | directory offset, or data entry offset
};

// The entries of the directory at offset (from the root of the resource
// directory), named ones first as the format stores them. Empty optional when
// the directory does not lie inside the image's data.
std::optional<std::vector<Entry>> ReadDirectory(const PeImage& image, uint64_t root, uint64_t offset) {
  uint8_t header[kDirectoryHeaderSize];
  if (!image.readRva(root + offset, header, sizeof header)) return std::nullopt;
  const uint64_t count = uint64_t(ReadU16(header + 12)) + ReadU16(header + 14);
  // mapRva checks the whole table against the section before any allocation.
  uint64_t tableOffset = 0;
  if (!image.mapRva(root + offset + kDirectoryHeaderSize, count * kEntrySize, &tableOffset)) return std::nullopt;
  std::vector<uint8_t> table(count * kEntrySize);
  if (!image.source().read(tableOffset, table.data(), table.size())) return std::nullopt;
  std::vector<Entry> entries(count);
  for (uint64_t i = 0; i < count; ++i) {
    entries[i] = {ReadU32(table.data() + i * kEntrySize), ReadU32(table.data() + i * kEntrySize + 4)};
  }
  return entries;
}

const Entry* FindId(const std::vector<Entry>& entries, uint16_t id) {
  for (const Entry& entry : entries) {
    if (!(entry.name & kNameIsStringFlag) && entry.name == id) return &entry;
  }
  return nullptr;
}

// The subdirectory an entry points to, or nullopt when it points to data.
std::optional<uint64_t> Subdirectory(const Entry& entry) {
  if (!(entry.target & kSubdirectoryFlag)) return std::nullopt;
  return entry.target & ~kSubdirectoryFlag;
}

const Entry* ChooseLanguage(const std::vector<Entry>& languages, std::span<const uint16_t> preferred) {
  for (uint16_t language : preferred) {
    if (const Entry* entry = FindId(languages, language)) return entry;
  }
  return languages.empty() ? nullptr : &languages.front();
}

uint32_t ReadDataEntry(const PeImage& image, uint64_t root, const Entry& entry, ResourceLocation* location) {
  if (entry.target & kSubdirectoryFlag) return kErrorBadFormat;
  uint8_t data[kDataEntrySize];
  if (!image.readRva(root + entry.target, data, sizeof data)) return kErrorBadFormat;
  const uint32_t rva = ReadU32(data);
  const uint32_t size = ReadU32(data + 4);
  if (!image.mapRva(rva, size, &location->fileOffset)) return kErrorBadFormat;
  location->size = size;
  return kErrorSuccess;
}

}  // namespace

uint32_t FindResource(const PeImage& image, uint16_t type, uint16_t name, std::span<const uint16_t> languages,
                      ResourceLocation* location) {
  const DataDirectory resources = image.directory(kDirectoryResource);
  if (resources.rva == 0 || resources.size == 0) return kErrorResourceDataNotFound;
  const uint64_t root = resources.rva;

  const auto types = ReadDirectory(image, root, 0);
  if (!types) return kErrorResourceDataNotFound;
  const Entry* typeEntry = FindId(*types, type);
  if (!typeEntry) return kErrorResourceTypeNotFound;

  const auto namesOffset = Subdirectory(*typeEntry);
  if (!namesOffset) return kErrorBadFormat;
  const auto names = ReadDirectory(image, root, *namesOffset);
  if (!names) return kErrorBadFormat;
  const Entry* nameEntry = FindId(*names, name);
  if (!nameEntry) return kErrorResourceNameNotFound;

  const auto languagesOffset = Subdirectory(*nameEntry);
  if (!languagesOffset) return kErrorBadFormat;
  const auto languageEntries = ReadDirectory(image, root, *languagesOffset);
  if (!languageEntries) return kErrorBadFormat;
  const Entry* languageEntry = ChooseLanguage(*languageEntries, languages);
  if (!languageEntry) return kErrorResourceNameNotFound;

  return ReadDataEntry(image, root, *languageEntry, location);
}

}  // namespace platform::pe

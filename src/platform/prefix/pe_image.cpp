#include "platform/prefix/pe_image.h"

#include <algorithm>
#include <cstring>

namespace platform::pe {
namespace {

constexpr uint64_t kDosHeaderSize = 64;
constexpr uint64_t kLfanewOffset = 0x3C;
constexpr uint64_t kFileHeaderSize = 20;
constexpr uint64_t kSectionHeaderSize = 40;
constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;
// Where NumberOfRvaAndSizes and the data directories sit in each kind of
// optional header.
constexpr uint64_t kRvaCountOffset32 = 92;
constexpr uint64_t kRvaCountOffset64 = 108;
// The format defines 16 directories; more are ignored, as the loader does.
constexpr uint32_t kMaxDirectories = 16;

}  // namespace

uint16_t ReadU16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }

uint32_t ReadU32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

bool MemorySource::read(uint64_t offset, void* out, size_t count) const {
  if (offset > bytes_.size() || count > bytes_.size() - offset) return false;
  if (count != 0) std::memcpy(out, bytes_.data() + offset, count);
  return true;
}

bool FileSource::open(const std::string& hostPath) {
  stream_.open(hostPath, std::ios::binary);
  if (!stream_) return false;
  stream_.seekg(0, std::ios::end);
  const std::streamoff end = stream_.tellg();
  if (end < 0) return false;
  size_ = uint64_t(end);
  return true;
}

bool FileSource::read(uint64_t offset, void* out, size_t count) const {
  if (offset > size_ || count > size_ - offset) return false;
  if (count == 0) return true;
  stream_.clear();
  stream_.seekg(std::streamoff(offset));
  stream_.read(static_cast<char*>(out), std::streamsize(count));
  return stream_.gcount() == std::streamsize(count);
}

uint32_t PeImage::open(const ByteSource& source) {
  source_ = &source;
  is64_ = false;
  directories_.clear();
  sections_.clear();
  return readHeaders();
}

uint32_t PeImage::readHeaders() {
  uint8_t dos[kDosHeaderSize];
  if (!source_->read(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return kErrorBadExeFormat;
  const uint64_t peOffset = ReadU32(dos + kLfanewOffset);

  uint8_t signatureAndHeader[4 + kFileHeaderSize];
  if (!source_->read(peOffset, signatureAndHeader, sizeof signatureAndHeader)) return kErrorBadExeFormat;
  if (std::memcmp(signatureAndHeader, "PE\0\0", 4) != 0) return kErrorBadExeFormat;
  const uint8_t* fileHeader = signatureAndHeader + 4;
  const uint16_t sectionCount = ReadU16(fileHeader + 2);
  const uint16_t optionalSize = ReadU16(fileHeader + 16);

  // The optional header is at most 64 KiB (its size is a 16-bit field).
  const uint64_t optionalOffset = peOffset + 4 + kFileHeaderSize;
  std::vector<uint8_t> optional(optionalSize);
  if (optionalSize < 2 || !source_->read(optionalOffset, optional.data(), optional.size())) {
    return kErrorBadExeFormat;
  }
  const uint16_t magic = ReadU16(optional.data());
  if (magic != kMagicPe32 && magic != kMagicPe32Plus) return kErrorBadExeFormat;
  is64_ = magic == kMagicPe32Plus;

  const uint64_t countOffset = is64_ ? kRvaCountOffset64 : kRvaCountOffset32;
  if (countOffset + 4 <= optional.size()) {
    const uint64_t declared = ReadU32(optional.data() + countOffset);
    const uint64_t fitting = (optional.size() - countOffset - 4) / 8;
    const uint64_t count = std::min<uint64_t>({declared, fitting, kMaxDirectories});
    for (uint64_t i = 0; i < count; ++i) {
      const uint8_t* entry = optional.data() + countOffset + 4 + i * 8;
      directories_.push_back({ReadU32(entry), ReadU32(entry + 4)});
    }
  }
  return readSections(optionalOffset + optionalSize, sectionCount);
}

uint32_t PeImage::readSections(uint64_t tableOffset, uint16_t count) {
  // Checked against the file before anything is allocated: at most 65535
  // headers of 40 bytes, and only when the file holds them.
  const uint64_t tableSize = uint64_t(count) * kSectionHeaderSize;
  if (tableOffset > source_->size() || tableSize > source_->size() - tableOffset) return kErrorBadExeFormat;
  std::vector<uint8_t> table(tableSize);
  if (!source_->read(tableOffset, table.data(), table.size())) return kErrorBadExeFormat;
  sections_.reserve(count);
  for (uint16_t i = 0; i < count; ++i) {
    const uint8_t* header = table.data() + uint64_t(i) * kSectionHeaderSize;
    sections_.push_back({ReadU32(header + 12), ReadU32(header + 8), ReadU32(header + 16), ReadU32(header + 20)});
  }
  return kErrorSuccess;
}

DataDirectory PeImage::directory(int index) const {
  if (index < 0 || size_t(index) >= directories_.size()) return {};
  return directories_[size_t(index)];
}

bool PeImage::mapRva(uint64_t rva, uint64_t count, uint64_t* fileOffset) const {
  for (const Section& section : sections_) {
    if (rva < section.virtualAddress) continue;
    const uint64_t inSection = rva - section.virtualAddress;
    // Only the file-backed bytes: past SizeOfRawData a section is zeros in
    // memory and nothing in the file, and resource data never lives there.
    if (inSection >= section.rawSize || count > section.rawSize - inSection) continue;
    const uint64_t offset = uint64_t(section.rawOffset) + inSection;
    if (offset > source_->size() || count > source_->size() - offset) return false;
    *fileOffset = offset;
    return true;
  }
  return false;
}

bool PeImage::readRva(uint64_t rva, void* out, size_t count) const {
  uint64_t offset = 0;
  return mapRva(rva, count, &offset) && source_->read(offset, out, count);
}

}  // namespace platform::pe

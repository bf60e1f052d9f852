#include "platform/prefix/appended_blobs.h"

#include <algorithm>
#include <cstring>

namespace platform::prefix {
namespace {

// Fixed part of one index entry: offset, size, digest (version 2), name
// length.
size_t entryFixedSize(uint32_t version) {
  return 8 + 8 + (version == kBlobContainerVersionWithoutDigests ? 0 : kBlobDigestSize) + 2;
}

uint64_t loadLe(const char* bytes, int width) {
  uint64_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[i]);
  return value;
}

void storeLe(std::string* out, uint64_t value, int width) {
  for (int i = 0; i < width; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

char16_t asciiUpper(char16_t c) { return (c >= u'a' && c <= u'z') ? c - (u'a' - u'A') : c; }

// Reads entries front to back; false at the first field that does not fit.
class IndexCursor {
 public:
  explicit IndexCursor(const std::string& bytes) : bytes_(bytes) {}
  bool take(int width, uint64_t* value) {
    if (bytes_.size() - pos_ < static_cast<size_t>(width)) return false;
    *value = loadLe(bytes_.data() + pos_, width);
    pos_ += width;
    return true;
  }
  bool takeBytes(uint8_t* out, size_t count) {
    if (bytes_.size() - pos_ < count) return false;
    std::memcpy(out, bytes_.data() + pos_, count);
    pos_ += count;
    return true;
  }
  bool takeName(size_t units, String* name) {
    if ((bytes_.size() - pos_) / 2 < units) return false;
    name->resize(units);
    for (size_t i = 0; i < units; ++i) (*name)[i] = static_cast<char16_t>(loadLe(bytes_.data() + pos_ + 2 * i, 2));
    pos_ += 2 * units;
    return true;
  }
  bool atEnd() const { return pos_ == bytes_.size(); }

 private:
  const std::string& bytes_;
  size_t pos_ = 0;
};

bool readEntry(IndexCursor* cursor, uint32_t version, BlobEntry* entry) {
  uint64_t nameLength = 0;
  if (!cursor->take(8, &entry->offset) || !cursor->take(8, &entry->size)) return false;
  if (version != kBlobContainerVersionWithoutDigests && !cursor->takeBytes(entry->digest.data(), kBlobDigestSize))
    return false;
  if (!cursor->take(2, &nameLength)) return false;
  if (nameLength == 0 || nameLength > kMaxBlobNameLength) return false;
  return cursor->takeName(nameLength, &entry->name);
}

bool nameIsSound(const String& name) {
  return std::none_of(name.begin(), name.end(), [](char16_t c) { return c < 0x20; });
}

// Every blob between the base and the index, none overlapping another.
bool blobsAreLaidOutSoundly(std::vector<BlobEntry> entries, const BlobTrailer& trailer) {
  std::sort(entries.begin(), entries.end(),
            [](const BlobEntry& a, const BlobEntry& b) { return a.offset < b.offset; });
  uint64_t end = trailer.baseSize;
  for (const BlobEntry& e : entries) {
    if (e.offset < end || e.offset > trailer.indexOffset || e.size > trailer.indexOffset - e.offset)
      return false;
    end = e.offset + e.size;
  }
  return true;
}

bool namesAreUnique(const std::vector<BlobEntry>& entries) {
  std::vector<String> names;
  for (const BlobEntry& e : entries) names.push_back(BlobNameUpper(e.name));
  std::sort(names.begin(), names.end());
  return std::adjacent_find(names.begin(), names.end()) == names.end();
}

}  // namespace

bool HasBlobMagic(const char* trailerBytes) {
  return std::memcmp(trailerBytes + kBlobTrailerSize - sizeof kBlobMagic, kBlobMagic, sizeof kBlobMagic) == 0;
}

uint32_t ParseBlobTrailer(const char* bytes, uint64_t fileSize, BlobTrailer* trailer) {
  if (fileSize < kBlobTrailerSize || !HasBlobMagic(bytes)) return kErrorInvalidData;
  BlobTrailer t;
  t.baseSize = loadLe(bytes, 8);
  t.indexOffset = loadLe(bytes + 8, 8);
  t.indexSize = loadLe(bytes + 16, 8);
  t.count = static_cast<uint32_t>(loadLe(bytes + 24, 4));
  const uint32_t version = static_cast<uint32_t>(loadLe(bytes + 28, 4));
  const uint64_t indexEnd = fileSize - kBlobTrailerSize;
  if (version != kBlobContainerVersion && version != kBlobContainerVersionWithoutDigests) return kErrorInvalidData;
  t.version = version;
  // The index ends where the trailer starts, or one signature before it; the
  // base precedes it.
  if (t.indexOffset > indexEnd || t.indexSize > indexEnd - t.indexOffset) return kErrorInvalidData;
  t.signatureSize = indexEnd - t.indexOffset - t.indexSize;
  if (t.signatureSize != 0 && (version == kBlobContainerVersionWithoutDigests || t.signatureSize != kBlobSignatureSize))
    return kErrorInvalidData;
  if (t.baseSize > t.indexOffset || t.indexSize > kMaxBlobIndexSize) return kErrorInvalidData;
  // Each entry takes at least its fixed part and one name unit.
  if (t.count > t.indexSize / (entryFixedSize(version) + 2)) return kErrorInvalidData;
  *trailer = t;
  return kErrorSuccess;
}

uint32_t ParseBlobIndex(const std::string& indexBytes, const BlobTrailer& trailer,
                        std::vector<BlobEntry>* entries) {
  entries->clear();
  if (indexBytes.size() != trailer.indexSize) return kErrorInvalidData;
  std::vector<BlobEntry> parsed(trailer.count);
  IndexCursor cursor(indexBytes);
  for (BlobEntry& entry : parsed) {
    if (!readEntry(&cursor, trailer.version, &entry) || !nameIsSound(entry.name)) return kErrorInvalidData;
  }
  if (!cursor.atEnd() || !blobsAreLaidOutSoundly(parsed, trailer) || !namesAreUnique(parsed))
    return kErrorInvalidData;
  *entries = std::move(parsed);
  return kErrorSuccess;
}

std::string EncodeBlobIndex(const std::vector<BlobEntry>& entries, uint64_t baseSize, uint64_t indexOffset,
                            uint32_t version) {
  std::string out;
  for (const BlobEntry& e : entries) {
    const String name = BlobNameUpper(e.name);
    storeLe(&out, e.offset, 8);
    storeLe(&out, e.size, 8);
    if (version != kBlobContainerVersionWithoutDigests)
      out.append(reinterpret_cast<const char*>(e.digest.data()), e.digest.size());
    storeLe(&out, name.size(), 2);
    for (char16_t c : name) storeLe(&out, c, 2);
  }
  const uint64_t indexSize = out.size();
  storeLe(&out, baseSize, 8);
  storeLe(&out, indexOffset, 8);
  storeLe(&out, indexSize, 8);
  storeLe(&out, entries.size(), 4);
  storeLe(&out, version, 4);
  out.append(kBlobMagic, sizeof kBlobMagic);
  return out;
}

std::string SignedBlobTail(const std::string& unsignedTail, const std::string& signature) {
  const size_t indexSize = unsignedTail.size() - kBlobTrailerSize;
  return unsignedTail.substr(0, indexSize) + signature + unsignedTail.substr(indexSize);
}

bool IsElfWithBytesAfterIt(const char* head, size_t headSize, uint64_t fileSize) {
  // ELF64, little-endian: e_phoff at 32, e_shoff at 40, e_phentsize and
  // e_phnum at 54 and 56, e_shentsize and e_shnum at 58 and 60.
  if (headSize < 64 || std::memcmp(head, "\x7F" "ELF", 4) != 0 || head[4] != 2 || head[5] != 1) return false;
  const uint64_t programHeaders = loadLe(head + 32, 8);
  const uint64_t sectionHeaders = loadLe(head + 40, 8);
  if (programHeaders > fileSize || sectionHeaders > fileSize) return false;  // not one we can measure
  const uint64_t programHeadersEnd = programHeaders + loadLe(head + 54, 2) * loadLe(head + 56, 2);
  const uint64_t sectionHeadersEnd = sectionHeaders + loadLe(head + 58, 2) * loadLe(head + 60, 2);
  return std::max({uint64_t{64}, programHeadersEnd, sectionHeadersEnd}) < fileSize;
}

String BlobNameUpper(const String& name) {
  String upper = name;
  std::transform(upper.begin(), upper.end(), upper.begin(), asciiUpper);
  return upper;
}

bool BlobNamesEqual(const String& a, const String& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) {
           return asciiUpper(x) == asciiUpper(y);
         });
}

}  // namespace platform::prefix

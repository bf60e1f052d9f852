// The container of named blobs that the packager appends to a Linux
// executable, standing in for the data resources of a Windows module.
//
// Layout of a packed file (all integers little-endian):
//
//   [the original executable, baseSize bytes]
//   [blob][blob]...                 each blob's bytes, back to back
//   [index]                         one entry per blob:
//                                     offset u64, size u64,
//                                     name length u16 (UTF-16 units),
//                                     name (UTF-16LE, ASCII letters upper case)
//   [trailer, kTrailerSize bytes]   baseSize u64, indexOffset u64,
//                                   indexSize u64, count u32, version u32,
//                                   magic "KVBLOBS\x1A"
//
// A reader opens the file, reads the trailer at its end, then the index it
// points to, and then only the bytes of the blob it wants: finding a blob by
// name never reads another blob. A file whose last bytes are not the magic
// carries no container (the plain executable).
//
// What this promises on bad input: every offset, size and count read from the
// file is checked against the file's size before it is used, so a truncated
// or forged trailer or index is reported as kErrorInvalidData and never makes
// a reader allocate absurd amounts or read outside the file. This file only
// describes and checks bytes; it does no I/O.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win_types.h"

namespace platform::prefix {

inline constexpr size_t kBlobTrailerSize = 40;
inline constexpr char kBlobMagic[8] = {'K', 'V', 'B', 'L', 'O', 'B', 'S', '\x1A'};
inline constexpr uint32_t kBlobContainerVersion = 1;
// Longest blob name, in UTF-16 units (a Windows file name).
inline constexpr size_t kMaxBlobNameLength = 255;
// An index larger than this is taken as damage rather than read into memory.
inline constexpr uint64_t kMaxBlobIndexSize = 64ull << 20;

struct BlobTrailer {
  uint64_t baseSize = 0;     // bytes of the original executable
  uint64_t indexOffset = 0;  // where the index starts
  uint64_t indexSize = 0;
  uint32_t count = 0;
};

struct BlobEntry {
  String name;  // as stored: ASCII letters upper case
  uint64_t offset = 0;
  uint64_t size = 0;
};

// True when the last kBlobTrailerSize bytes of a file end with the magic.
bool HasBlobMagic(const char* trailerBytes);

// Reads and checks the trailer of a file of fileSize bytes whose last
// kBlobTrailerSize bytes are given (and carry the magic). kErrorSuccess, or
// kErrorInvalidData when the fields cannot describe a container in such a
// file.
uint32_t ParseBlobTrailer(const char* trailerBytes, uint64_t fileSize, BlobTrailer* trailer);

// Reads and checks the index bytes the trailer points to: every blob lies
// between the original executable and the index, no two overlap, names are
// non-empty, at most kMaxBlobNameLength long and unique ignoring ASCII case.
// kErrorSuccess, or kErrorInvalidData with entries left empty.
uint32_t ParseBlobIndex(const std::string& indexBytes, const BlobTrailer& trailer,
                        std::vector<BlobEntry>* entries);

// The index and trailer bytes to append after the blobs, which start after a
// base of baseSize bytes and end at indexOffset.
std::string EncodeBlobIndex(const std::vector<BlobEntry>& entries, uint64_t baseSize,
                            uint64_t indexOffset);

// ASCII upper case, other characters unchanged: the stored form of a name.
String BlobNameUpper(const String& name);
bool BlobNamesEqual(const String& a, const String& b);

}  // namespace platform::prefix

// The container of named blobs that the packager appends to a Linux
// executable, standing in for the data resources of a Windows module.
//
// Layout of a packed file (all integers little-endian):
//
//   [the original executable, baseSize bytes]
//   [blob][blob]...                 each blob's bytes, back to back
//   [index]                         one entry per blob:
//                                     offset u64, size u64,
//                                     SHA-256 of the blob's bytes (32 bytes,
//                                     version 2 only),
//                                     name length u16 (UTF-16 units),
//                                     name (UTF-16LE, ASCII letters upper case)
//   [signature, optional]           kBlobSignatureSize bytes (version 2 only)
//   [trailer, kTrailerSize bytes]   baseSize u64, indexOffset u64,
//                                   indexSize u64, count u32, version u32,
//                                   magic "KVBLOBS\x1A"
//
// Version 1 containers, made before the digests, are still read; their
// entries carry no digest. A signature, when present, fills the whole gap
// between the index and the trailer and covers the index followed by the
// trailer: the bytes EncodeBlobIndex gives, so every digest, offset and name
// is signed. This file does not interpret the signature's bytes.
//
// A reader opens the file, reads the trailer at its end, then the index it
// points to, and then only the bytes of the blob it wants: finding a blob by
// name never reads another blob. A file whose last bytes are not the magic
// carries no container (the plain executable), unless it is an ELF program
// with bytes after its own end: that is a packed file cut short.
//
// What this promises on bad input: every offset, size and count read from the
// file is checked against the file's size before it is used, so a truncated
// or forged trailer or index is reported as kErrorInvalidData and never makes
// a reader allocate absurd amounts or read outside the file. This file only
// describes and checks bytes; it does no I/O.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/win_types.h"

namespace platform::prefix {

inline constexpr size_t kBlobTrailerSize = 40;
inline constexpr char kBlobMagic[8] = {'K', 'V', 'B', 'L', 'O', 'B', 'S', '\x1A'};
inline constexpr uint32_t kBlobContainerVersion = 2;
// The format before digests and signatures.
inline constexpr uint32_t kBlobContainerVersionWithoutDigests = 1;
inline constexpr size_t kBlobDigestSize = 32;
// An Ed25519 public key (32 bytes) followed by its signature (64 bytes).
inline constexpr size_t kBlobSignatureSize = 96;
// Longest blob name, in UTF-16 units (a Windows file name).
inline constexpr size_t kMaxBlobNameLength = 255;
// An index larger than this is taken as damage rather than read into memory.
inline constexpr uint64_t kMaxBlobIndexSize = 64ull << 20;

struct BlobTrailer {
  uint64_t baseSize = 0;     // bytes of the original executable
  uint64_t indexOffset = 0;  // where the index starts
  uint64_t indexSize = 0;
  uint32_t count = 0;
  uint32_t version = kBlobContainerVersion;
  uint64_t signatureSize = 0;  // 0 or kBlobSignatureSize
};

using BlobDigest = std::array<uint8_t, kBlobDigestSize>;

struct BlobEntry {
  String name;  // as stored: ASCII letters upper case
  uint64_t offset = 0;
  uint64_t size = 0;
  BlobDigest digest{};  // all zero in a version 1 container
};

// True when the last kBlobTrailerSize bytes of a file end with the magic.
bool HasBlobMagic(const char* trailerBytes);

// Reads and checks the trailer of a file of fileSize bytes whose last
// kBlobTrailerSize bytes are given (and carry the magic). kErrorSuccess, or
// kErrorInvalidData when the fields cannot describe a container in such a
// file (among them a gap before the trailer that is not exactly one
// signature).
uint32_t ParseBlobTrailer(const char* trailerBytes, uint64_t fileSize, BlobTrailer* trailer);

// Reads and checks the index bytes the trailer points to: every blob lies
// between the original executable and the index, no two overlap, names are
// non-empty, at most kMaxBlobNameLength long and unique ignoring ASCII case.
// kErrorSuccess, or kErrorInvalidData with entries left empty.
uint32_t ParseBlobIndex(const std::string& indexBytes, const BlobTrailer& trailer,
                        std::vector<BlobEntry>* entries);

// The index and trailer bytes to append after the blobs, which start after a
// base of baseSize bytes and end at indexOffset: unsigned, and exactly the
// bytes a signature covers. version 1 writes the older format (for tests of
// packs made before digests).
std::string EncodeBlobIndex(const std::vector<BlobEntry>& entries, uint64_t baseSize,
                            uint64_t indexOffset, uint32_t version = kBlobContainerVersion);

// The tail of EncodeBlobIndex with a signature of kBlobSignatureSize bytes
// put between the index and the trailer.
std::string SignedBlobTail(const std::string& unsignedTail, const std::string& signature);

// For a file without the magic whose first bytes (at least 64) are given:
// true when it is a 64-bit ELF file whose headers end before fileSize, so
// that bytes follow the program: a packed file that lost its end.
bool IsElfWithBytesAfterIt(const char* head, size_t headSize, uint64_t fileSize);

// ASCII upper case, other characters unchanged: the stored form of a name.
String BlobNameUpper(const String& name);
bool BlobNamesEqual(const String& a, const String& b);

}  // namespace platform::prefix

// A bounded reader of 32- and 64-bit PE files (PE32 and PE32+): the DOS
// header, the PE signature, the optional header with its data directories and
// the section table that maps relative virtual addresses (RVAs) to file
// offsets.
//
// What this promises on bad input: every offset, size and count taken from
// the file is checked against the size of the data before it is used, in
// 64-bit arithmetic so that no sum wraps. A truncated file, an e_lfanew or a
// section outside the file, a table larger than the file: each ends in a Win32
// error code (kErrorBadExeFormat), never in a read outside the data or an
// allocation the file size does not justify. Nothing here writes.
#pragma once

#include <cstdint>
#include <fstream>
#include <span>
#include <string>
#include <vector>

#include "platform/win_types.h"

namespace platform::pe {

// Random access to the bytes of a file or of a buffer.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t size() const = 0;
  // Copies exactly count bytes from offset; false, copying nothing useful,
  // when they are not all there.
  virtual bool read(uint64_t offset, void* out, size_t count) const = 0;
};

// The bytes of a buffer that outlives the source (the fuzzer's input, a test's
// hand-made image).
class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  uint64_t size() const override { return bytes_.size(); }
  bool read(uint64_t offset, void* out, size_t count) const override;

 private:
  std::span<const uint8_t> bytes_;
};

// The bytes of a host file, read piece by piece so that a large executable is
// never loaded whole.
class FileSource : public ByteSource {
 public:
  // False when the file cannot be opened for reading.
  bool open(const std::string& hostPath);
  uint64_t size() const override { return size_; }
  bool read(uint64_t offset, void* out, size_t count) const override;

 private:
  mutable std::ifstream stream_;
  uint64_t size_ = 0;
};

// Little-endian integers out of a byte buffer; the caller has checked the
// bounds.
uint16_t ReadU16(const uint8_t* p);
uint32_t ReadU32(const uint8_t* p);

inline constexpr int kDirectoryResource = 2;

struct DataDirectory {
  uint32_t rva = 0;
  uint32_t size = 0;
};

struct Section {
  uint32_t virtualAddress = 0;
  uint32_t virtualSize = 0;
  uint32_t rawSize = 0;
  uint32_t rawOffset = 0;
};

class PeImage {
 public:
  // Reads and checks the headers and the section table. kErrorSuccess, or
  // kErrorBadExeFormat when the data is not a well-formed PE image.
  uint32_t open(const ByteSource& source);

  bool is64() const { return is64_; }
  // The data directory at index, {0, 0} when the image has none there.
  DataDirectory directory(int index) const;
  const std::vector<Section>& sections() const { return sections_; }

  // File offset of count bytes starting at rva, when they all lie in the
  // file-backed part of one section and inside the file.
  bool mapRva(uint64_t rva, uint64_t count, uint64_t* fileOffset) const;
  // Copies count bytes at rva (mapRva, then a bounded read).
  bool readRva(uint64_t rva, void* out, size_t count) const;

  const ByteSource& source() const { return *source_; }

 private:
  uint32_t readHeaders();
  uint32_t readSections(uint64_t tableOffset, uint16_t count);

  const ByteSource* source_ = nullptr;
  bool is64_ = false;
  std::vector<DataDirectory> directories_;
  std::vector<Section> sections_;
};

}  // namespace platform::pe

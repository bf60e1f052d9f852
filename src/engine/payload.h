// The payload of every carried file: one complete zlib stream whose inflated
// content is
//
//   size      u64  number of data bytes that follow (below 2 GiB)
//   fileTime  u64  the file's last-write time as a FILETIME
//   data      size bytes, unchanged
//
// little-endian, and nothing after the stream.
//
// What this promises on bad input: a payload that is not zlib, is cut short,
// fails its Adler-32 check, inflates to fewer or more bytes than its header
// announces, announces 2 GiB or more, or is followed by stray bytes raises a
// kelvaro::Error naming the resource and saying which; a read failure of the
// module raises kelvaro::OsError. Nothing is allocated from an untrusted size
// before the header is checked, and nothing is written past a buffer.
#pragma once

#include <zlib.h>

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/module_resources.h"
#include "platform/win_types.h"

namespace kelvaro {

inline constexpr int kPayloadHeaderSize = 16;
// Carried files are read into blocks counted by a signed 32-bit size.
inline constexpr uint64_t kMaxPayloadDataSize = 0x7FFFFFFFull;

struct PayloadHeader {
  uint64_t size = 0;
  platform::FileTime fileTime = 0;
};

// Inflates one payload, reading the compressed bytes from source in pieces,
// so that only the inflated data the caller asks for sits in memory.
// Use: readHeader(), then readData() until size bytes are read, then finish().
class PayloadReader {
 public:
  // name is the resource's name as asked for, used in error messages.
  PayloadReader(QString name, platform::ResourceData* source);
  ~PayloadReader();
  PayloadReader(const PayloadReader&) = delete;
  PayloadReader& operator=(const PayloadReader&) = delete;

  // The header, with size checked to be below 2 GiB.
  PayloadHeader readHeader();
  // Inflates exactly count data bytes into buffer.
  void readData(char* buffer, size_t count);
  // Checks that the stream ends right after the data and that no byte
  // follows it.
  void finish();

 private:
  void inflateExactly(char* buffer, size_t count, const char* shortReason);
  void refill();
  bool inputLeft() const;
  [[noreturn]] void fail(const char* reason) const;
  [[noreturn]] void failInflate(int code) const;

  QString name_;
  platform::ResourceData* source_;
  z_stream stream_{};
  std::vector<unsigned char> input_;
  uint64_t consumed_ = 0;
  bool ended_ = false;
};

// Reads a whole payload into memory: the block holds exactly the data bytes.
// data and fileTime are changed only on success.
void ReadPayload(const QString& name, platform::ResourceData* source, QByteArray* data,
                 platform::FileTime* fileTime);

// A resource whose bytes are already in memory (tests, the fuzzer).
class MemoryResourceData : public platform::ResourceData {
 public:
  MemoryResourceData(const char* data, size_t size) : data_(data), size_(size) {}
  uint64_t size() const override { return size_; }
  int64_t Read(uint64_t offset, void* buffer, size_t count) override;

 private:
  const char* data_;
  size_t size_;
};

}  // namespace kelvaro

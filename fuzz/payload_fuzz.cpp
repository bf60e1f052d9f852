// libFuzzer target of the payload reader. The first input byte sets how many
// bytes each read of the resource may return (1 to 256), so that every way
// the compressed stream can be cut into pieces is tried; the rest is the
// payload. Any error must be a kelvaro::Error; AddressSanitizer reports a
// read or write outside a buffer, and the announced size never makes the
// reader allocate more than the payload could inflate to.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/payload.h"
#include "support/errors.h"

namespace {

// A resource that hands out its bytes in small pieces.
class ChoppedResource : public platform::ResourceData {
 public:
  ChoppedResource(const uint8_t* data, size_t size, size_t piece) : data_(data), size_(size), piece_(piece) {}
  uint64_t size() const override { return size_; }
  int64_t Read(uint64_t offset, void* buffer, size_t count) override {
    if (offset >= size_) return 0;
    size_t n = count < piece_ ? count : piece_;
    if (n > size_ - offset) n = size_ - offset;
    std::memcpy(buffer, data_ + offset, n);
    return static_cast<int64_t>(n);
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t piece_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  ChoppedResource resource(data + 1, size - 1, static_cast<size_t>(data[0]) + 1);
  QByteArray block;
  platform::FileTime fileTime = 0;
  try {
    kelvaro::ReadPayload(QStringLiteral("Fuzz.bin"), &resource, &block, &fileTime);
  } catch (const kelvaro::Error&) {
  }
  return 0;
}

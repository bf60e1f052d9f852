// libFuzzer target of the container index the packager appends: the input is
// taken as the tail of a packed file (index then trailer). A trailer or index
// that lies must be refused, never read outside the input, and an accepted
// index must describe blobs inside the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/prefix/appended_blobs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace platform::prefix;
  if (size < kBlobTrailerSize) return 0;
  const char* bytes = reinterpret_cast<const char*>(data);
  // The input's first 8 bytes say how much of a file comes before the tail.
  uint64_t before = 0;
  for (int i = 0; i < 8 && i < static_cast<int>(size); ++i) before |= static_cast<uint64_t>(data[i]) << (8 * i);
  before &= 0xFFFFFFFFFFull;
  const uint64_t fileSize = before + size;
  BlobTrailer trailer;
  if (ParseBlobTrailer(bytes + size - kBlobTrailerSize, fileSize, &trailer) != platform::kErrorSuccess) return 0;
  if (trailer.indexOffset < before) return 0;  // the index would lie outside the input
  const std::string index(bytes + (trailer.indexOffset - before), trailer.indexSize);
  std::vector<BlobEntry> entries;
  if (ParseBlobIndex(index, trailer, &entries) != platform::kErrorSuccess) return 0;
  for (const BlobEntry& e : entries) {
    if (e.offset < trailer.baseSize || e.offset + e.size > trailer.indexOffset) std::abort();
  }
  return 0;
}

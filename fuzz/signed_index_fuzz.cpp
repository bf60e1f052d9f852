// libFuzzer target of a signed container's end: the index with its digests,
// the signature block and the trailer, then the signature checked as a run
// checks it. The input is 8 bytes saying how many bytes of the file come
// before the rest (the base and the blobs), then the rest. Nothing may read
// outside the input, and a signature block of any other size than the one
// expected must be refused before libsodium sees it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/update_signature.h"
#include "platform/prefix/appended_blobs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace platform::prefix;
  if (size < 8 + kBlobTrailerSize) return 0;
  uint64_t before = 0;
  for (int i = 0; i < 8; ++i) before |= static_cast<uint64_t>(data[i]) << (8 * i);
  before &= 0xFFFFFFFFFFull;
  const std::string tail(reinterpret_cast<const char*>(data) + 8, size - 8);
  const uint64_t fileSize = before + tail.size();
  BlobTrailer trailer;
  if (ParseBlobTrailer(tail.data() + tail.size() - kBlobTrailerSize, fileSize, &trailer) != platform::kErrorSuccess)
    return 0;
  if (trailer.indexOffset < before) return 0;  // the index would lie outside the input
  const uint64_t indexStart = trailer.indexOffset - before;
  const std::string index = tail.substr(indexStart, trailer.indexSize);
  std::vector<BlobEntry> entries;
  if (ParseBlobIndex(index, trailer, &entries) != platform::kErrorSuccess) return 0;
  if (trailer.signatureSize != 0 && trailer.signatureSize != kBlobSignatureSize) std::abort();
  const std::string signature = tail.substr(indexStart + trailer.indexSize, trailer.signatureSize);
  const std::string signedBytes = index + tail.substr(tail.size() - kBlobTrailerSize);
  kelvaro::PublicKey signer{};
  const kelvaro::SignatureState state = kelvaro::CheckSignatureBlock(signature, signedBytes, &signer);
  if (state == kelvaro::SignatureState::Unsigned && !signature.empty()) std::abort();
  if (state != kelvaro::SignatureState::Unsigned) kelvaro::KeyFingerprint(signer);
  return 0;
}

#include "engine/payload.h"

#include <algorithm>
#include <cstring>

#include "support/errors.h"

namespace kelvaro {
namespace {

// Large enough that inflate, not the reads, sets the pace.
constexpr size_t kInputChunk = 256 * 1024;
// Deflate cannot expand a byte of input into more than about 1032 bytes, so a
// header announcing more than this many bytes per compressed byte lies, and
// is refused before a block of that size is allocated.
constexpr uint64_t kMaxInflateRatio = 1100;

uint64_t loadLe64(const char* bytes) {
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[i]);
  return value;
}

}  // namespace

PayloadReader::PayloadReader(QString name, platform::ResourceData* source)
    : name_(std::move(name)), source_(source) {
  if (inflateInit(&stream_) != Z_OK) fail("mémoire insuffisante pour la décompression");
}

PayloadReader::~PayloadReader() { inflateEnd(&stream_); }

void PayloadReader::fail(const char* reason) const {
  throw Error(QStringLiteral("Le fichier intégré \"%1\" est endommagé : %2.").arg(name_, QString::fromUtf8(reason)));
}

void PayloadReader::failInflate(int code) const {
  if (code == Z_DATA_ERROR && stream_.msg && std::strcmp(stream_.msg, "incorrect data check") == 0)
    fail("somme de contrôle Adler-32 incorrecte");
  if (code == Z_MEM_ERROR) fail("mémoire insuffisante pour la décompression");
  fail("données compressées non valides");
}

bool PayloadReader::inputLeft() const { return stream_.avail_in > 0 || consumed_ < source_->size(); }

void PayloadReader::refill() {
  const uint64_t left = source_->size() - consumed_;
  if (left == 0) return;
  // Sized to what is left, at most a chunk: the carried texts are small, and
  // a buffer larger than the data would only be cleared for nothing.
  const size_t want = static_cast<size_t>(std::min<uint64_t>(left, kInputChunk));
  if (input_.size() < want) input_.resize(want);
  const int64_t got = source_->Read(consumed_, input_.data(), want);
  if (got < 0) throw OsError(platform::GetLastError());
  if (got == 0) fail("flux compressé tronqué");
  consumed_ += static_cast<uint64_t>(got);
  stream_.next_in = input_.data();
  stream_.avail_in = static_cast<uInt>(got);
}

void PayloadReader::inflateExactly(char* buffer, size_t count, const char* shortReason) {
  stream_.next_out = reinterpret_cast<Bytef*>(buffer);
  stream_.avail_out = static_cast<uInt>(count);
  while (stream_.avail_out > 0) {
    if (ended_) fail(shortReason);
    if (stream_.avail_in == 0) refill();
    const int code = inflate(&stream_, Z_NO_FLUSH);
    if (code == Z_STREAM_END) {
      ended_ = true;
    } else if (code == Z_BUF_ERROR) {
      // No progress possible: inflate wants input and there is none left.
      if (!inputLeft()) fail("flux compressé tronqué");
    } else if (code != Z_OK) {
      failInflate(code);
    }
  }
}

PayloadHeader PayloadReader::readHeader() {
  char bytes[kPayloadHeaderSize];
  inflateExactly(bytes, sizeof bytes, "en-tête incomplet");
  PayloadHeader header;
  header.size = loadLe64(bytes);
  header.fileTime = loadLe64(bytes + 8);
  if (header.size > kMaxPayloadDataSize) fail("taille annoncée de 2 Go ou plus");
  if (header.size / kMaxInflateRatio > source_->size()) fail("données plus courtes que la taille annoncée");
  return header;
}

void PayloadReader::readData(char* buffer, size_t count) {
  inflateExactly(buffer, count, "données plus courtes que la taille annoncée");
}

void PayloadReader::finish() {
  while (!ended_) {
    // Any byte still inflating lies past the announced data.
    char extra;
    stream_.next_out = reinterpret_cast<Bytef*>(&extra);
    stream_.avail_out = 1;
    if (stream_.avail_in == 0) refill();
    const int code = inflate(&stream_, Z_NO_FLUSH);
    if (stream_.avail_out == 0) fail("données plus longues que la taille annoncée");
    if (code == Z_STREAM_END) {
      ended_ = true;
    } else if (code == Z_BUF_ERROR) {
      if (!inputLeft()) fail("flux compressé tronqué");
    } else if (code != Z_OK) {
      failInflate(code);
    }
  }
  if (inputLeft()) fail("octets en trop après le flux compressé");
}

void ReadPayload(const QString& name, platform::ResourceData* source, QByteArray* data,
                 platform::FileTime* fileTime) {
  PayloadReader reader(name, source);
  const PayloadHeader header = reader.readHeader();
  QByteArray block;
  block.resize(static_cast<qsizetype>(header.size));
  reader.readData(block.data(), block.size());
  reader.finish();
  *data = std::move(block);
  *fileTime = header.fileTime;
}

int64_t MemoryResourceData::Read(uint64_t offset, void* buffer, size_t count) {
  if (offset >= size_) return 0;
  count = std::min<size_t>(count, size_ - offset);
  std::memcpy(buffer, data_ + offset, count);
  return static_cast<int64_t>(count);
}

}  // namespace kelvaro

// Making an update executable: a base executable followed by the files it
// carries, each stored under its name in upper case as a payload (payload.h)
// in the container that the platform's data resources read
// (platform/prefix/appended_blobs.h).
//
// What this promises when things go wrong: PackExecutable checks every input
// before it writes, writes the output to a temporary file beside it and
// renames it into place only when complete, so a failure (a missing file, a
// refused name, a full disk) leaves the output as it was. A base that already
// carries files has them dropped, never stacked.
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

#include "engine/update_signature.h"
#include "platform/prefix/appended_blobs.h"
#include "platform/win_types.h"

namespace kelvaro {

// The payload of size bytes read from data, at zlib's maximum level.
// Returns the number of compressed bytes written to out; raises Error when
// data ends early or out cannot be written.
uint64_t WritePayload(QIODevice* data, uint64_t size, platform::FileTime fileTime, QIODevice* out);
QByteArray EncodePayload(const QByteArray& data, platform::FileTime fileTime);

// Writes a packed executable front to back onto out: the base first, then
// the carried files, then finish() adds the index.
class PackedExecutableWriter {
 public:
  explicit PackedExecutableWriter(QIODevice* out) : out_(out) {}

  void appendBase(QIODevice* base, uint64_t size);
  // Stores payload bytes exactly as given (tests also store damaged ones).
  void appendPayload(const QString& name, const QByteArray& payload);
  // Stores the file at hostPath as a payload with its last-write time.
  void appendFile(const QString& name, const QString& hostPath);
  // Adds the index, holding each payload's SHA-256, signed when key is
  // given; version 1 writes the older format without digests (tests).
  void finish(const SecretKey* key = nullptr,
              uint32_t version = platform::prefix::kBlobContainerVersion);

 private:
  struct Entry {
    QString name;
    uint64_t offset;
    uint64_t size;
    platform::prefix::BlobDigest digest;
  };
  void put(const char* data, qint64 size);

  QIODevice* out_;
  uint64_t baseSize_ = 0;
  uint64_t written_ = 0;
  std::vector<Entry> entries_;
};

// Bytes of the original executable in the file at hostPath: all of them,
// unless it already carries files. Raises Error when the file cannot be read
// or its container is damaged.
uint64_t BaseExecutableSize(const QString& hostPath);

// The last-write time of a host file as a FILETIME (100 ns precision).
platform::FileTime HostFileLastWriteTime(const QString& hostPath);

// The name a host file is carried under (its last path component), or an
// error text when that name cannot be a Windows file name ('\', ':', '*',
// '?', '"', '<', '>', '|', control characters, empty or too long).
QString CarriedFileName(const QString& hostPath, QString* error);

// Packs base and files into output (host paths), with mode 0755, signed
// when key is given. Raises Error with a message for the user on any
// failure; output is then unchanged.
void PackExecutable(const QString& output, const QString& base, const QStringList& files,
                    const SecretKey* key = nullptr);

// Signs the packed update at path (a host path) in place, replacing any
// signature it had; the carried files stay byte for byte. Refuses an update
// packed before digests, whose index has nothing worth signing.
void SignPackedExecutable(const QString& path, const SecretKey& key);

}  // namespace kelvaro

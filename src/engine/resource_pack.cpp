#include "engine/resource_pack.h"

#include <sodium.h>
#include <zlib.h>

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <chrono>
#include <filesystem>

#include "platform/prefix/appended_blobs.h"
#include "platform/prefix/data_resources.h"
#include "support/errors.h"
#include "support/text.h"

namespace kelvaro {
namespace {

constexpr qint64 kChunk = 256 * 1024;

QByteArray headerBytes(uint64_t size, platform::FileTime fileTime) {
  QByteArray header(16, '\0');
  for (int i = 0; i < 8; ++i) {
    header[i] = static_cast<char>((size >> (8 * i)) & 0xFF);
    header[8 + i] = static_cast<char>((fileTime >> (8 * i)) & 0xFF);
  }
  return header;
}

// deflate with Z_FINISH or not, draining every output piece into out.
class Deflater {
 public:
  explicit Deflater(QIODevice* out) : out_(out), buffer_(kChunk, '\0') {
    if (deflateInit(&stream_, Z_BEST_COMPRESSION) != Z_OK) throw Error(QStringLiteral("Mémoire insuffisante."));
  }
  ~Deflater() { deflateEnd(&stream_); }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  void feed(const char* data, qint64 size, bool last) {
    stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    stream_.avail_in = static_cast<uInt>(size);
    int code;
    do {
      stream_.next_out = reinterpret_cast<Bytef*>(buffer_.data());
      stream_.avail_out = static_cast<uInt>(buffer_.size());
      code = deflate(&stream_, last ? Z_FINISH : Z_NO_FLUSH);
      const qint64 produced = buffer_.size() - stream_.avail_out;
      if (out_->write(buffer_.constData(), produced) != produced)
        throw Error(QStringLiteral("Écriture impossible : %1").arg(out_->errorString()));
      written_ += static_cast<uint64_t>(produced);
    } while (stream_.avail_out == 0 || (last && code != Z_STREAM_END));
  }
  uint64_t written() const { return written_; }

 private:
  QIODevice* out_;
  QByteArray buffer_;
  z_stream stream_{};
  uint64_t written_ = 0;
};

void refuse(const QString& message) { throw Error(message); }

// Forwards every write to out and hashes what out took, so that a payload's
// digest comes from the bytes as stored, in the same pass that stores them.
class DigestingWriter : public QIODevice {
 public:
  explicit DigestingWriter(QIODevice* out) : out_(out) {
    crypto_hash_sha256_init(&state_);
    open(QIODevice::WriteOnly);
  }
  platform::prefix::BlobDigest digest() {
    platform::prefix::BlobDigest digest{};
    crypto_hash_sha256_final(&state_, digest.data());
    return digest;
  }

 protected:
  qint64 readData(char*, qint64) override { return -1; }
  qint64 writeData(const char* data, qint64 size) override {
    const qint64 written = out_->write(data, size);
    if (written > 0) crypto_hash_sha256_update(&state_, reinterpret_cast<const unsigned char*>(data), uint64_t(written));
    if (written != size) setErrorString(out_->errorString());
    return written;
  }

 private:
  QIODevice* out_;
  crypto_hash_sha256_state state_{};
};

platform::prefix::BlobDigest digestOf(const QByteArray& bytes) {
  platform::prefix::BlobDigest digest{};
  crypto_hash_sha256(digest.data(), reinterpret_cast<const unsigned char*>(bytes.constData()), uint64_t(bytes.size()));
  return digest;
}

// The index and trailer, signed when a key is given.
std::string containerTail(const std::string& unsignedTail, const SecretKey* key) {
  if (!key) return unsignedTail;
  return platform::prefix::SignedBlobTail(unsignedTail, SignatureBlock(*key, unsignedTail));
}

void openForReading(QFile* file) {
  if (!file->open(QIODevice::ReadOnly))
    refuse(QStringLiteral("Impossible de lire %1 : %2").arg(file->fileName(), file->errorString()));
}

// Every name valid, none twice ignoring ASCII case.
QStringList carriedNames(const QStringList& files) {
  QStringList names;
  QSet<QString> seen;
  for (const QString& file : files) {
    QString error;
    const QString name = CarriedFileName(file, &error);
    if (name.isEmpty()) refuse(error);
    const QString stored = toQ(platform::prefix::BlobNameUpper(toW(name)));
    if (seen.contains(stored)) refuse(QStringLiteral("Deux fichiers portent le nom %1.").arg(stored));
    seen.insert(stored);
    if (!QFileInfo(file).isFile()) refuse(QStringLiteral("%1 n'est pas un fichier.").arg(file));
    names.append(name);
  }
  return names;
}

}  // namespace

uint64_t WritePayload(QIODevice* data, uint64_t size, platform::FileTime fileTime, QIODevice* out) {
  Deflater deflater(out);
  const QByteArray header = headerBytes(size, fileTime);
  deflater.feed(header.constData(), header.size(), size == 0);
  QByteArray chunk(kChunk, '\0');
  for (uint64_t left = size; left > 0;) {
    const qint64 want = static_cast<qint64>(std::min<uint64_t>(left, kChunk));
    if (data->read(chunk.data(), want) != want) refuse(QStringLiteral("Fichier raccourci pendant la lecture."));
    left -= static_cast<uint64_t>(want);
    deflater.feed(chunk.constData(), want, left == 0);
  }
  return deflater.written();
}

QByteArray EncodePayload(const QByteArray& data, platform::FileTime fileTime) {
  QByteArray source = data;
  QBuffer in(&source);
  in.open(QIODevice::ReadOnly);
  QByteArray payload;
  QBuffer out(&payload);
  out.open(QIODevice::WriteOnly);
  WritePayload(&in, static_cast<uint64_t>(data.size()), fileTime, &out);
  return payload;
}

void PackedExecutableWriter::put(const char* data, qint64 size) {
  if (out_->write(data, size) != size) refuse(QStringLiteral("Écriture impossible : %1").arg(out_->errorString()));
  written_ += static_cast<uint64_t>(size);
}

void PackedExecutableWriter::appendBase(QIODevice* base, uint64_t size) {
  QByteArray chunk(kChunk, '\0');
  for (uint64_t left = size; left > 0;) {
    const qint64 want = static_cast<qint64>(std::min<uint64_t>(left, kChunk));
    if (base->read(chunk.data(), want) != want) refuse(QStringLiteral("Exécutable de base raccourci pendant la lecture."));
    put(chunk.constData(), want);
    left -= static_cast<uint64_t>(want);
  }
  baseSize_ = written_;
}

void PackedExecutableWriter::appendPayload(const QString& name, const QByteArray& payload) {
  entries_.push_back({name, written_, static_cast<uint64_t>(payload.size()), digestOf(payload)});
  put(payload.constData(), payload.size());
}

void PackedExecutableWriter::appendFile(const QString& name, const QString& hostPath) {
  QFile file(hostPath);
  openForReading(&file);
  const uint64_t size = static_cast<uint64_t>(file.size());
  if (size > 0x7FFFFFFFull) refuse(QStringLiteral("%1 dépasse 2 Go : trop grand pour être intégré.").arg(hostPath));
  const uint64_t offset = written_;
  DigestingWriter digesting(out_);
  written_ += WritePayload(&file, size, HostFileLastWriteTime(hostPath), &digesting);
  entries_.push_back({name, offset, written_ - offset, digesting.digest()});
}

void PackedExecutableWriter::finish(const SecretKey* key, uint32_t version) {
  std::vector<platform::prefix::BlobEntry> blobs;
  for (const Entry& e : entries_) blobs.push_back({toW(e.name), e.offset, e.size, e.digest});
  const std::string tail = containerTail(platform::prefix::EncodeBlobIndex(blobs, baseSize_, written_, version), key);
  put(tail.data(), static_cast<qint64>(tail.size()));
}

uint64_t BaseExecutableSize(const QString& hostPath) {
  std::vector<platform::prefix::BlobEntry> entries;
  uint64_t baseSize = 0;
  if (!platform::prefix::ReadBlobDirectory(hostPath.toStdString(), &entries, &baseSize))
    refuse(QStringLiteral("%1 : exécutable de base illisible ou endommagé (erreur %2).")
               .arg(hostPath, QString::number(platform::GetLastError())));
  return baseSize;
}

platform::FileTime HostFileLastWriteTime(const QString& hostPath) {
  using namespace std::chrono;
  std::error_code error;
  const auto when = std::filesystem::last_write_time(hostPath.toStdString(), error);
  if (error) refuse(QStringLiteral("%1 : date de modification illisible.").arg(hostPath));
  const int64_t unixTicks = duration_cast<nanoseconds>(file_clock::to_sys(when).time_since_epoch()).count() / 100;
  const int64_t ticks = unixTicks + static_cast<int64_t>(platform::kUnixEpochInFileTimeSeconds) * 10'000'000;
  return ticks < 0 ? 0 : static_cast<platform::FileTime>(ticks);
}

QString CarriedFileName(const QString& hostPath, QString* error) {
  const QString name = QFileInfo(hostPath).fileName();
  const auto refused = [&](const QString& why) {
    *error = QStringLiteral("Nom refusé pour %1 : %2").arg(hostPath, why);
    return QString();
  };
  if (name.isEmpty()) return refused(QStringLiteral("nom de fichier vide."));
  if (name.size() > static_cast<qsizetype>(platform::prefix::kMaxBlobNameLength))
    return refused(QStringLiteral("nom trop long."));
  for (const QChar c : name) {
    if (c.unicode() < 0x20 || c.unicode() == 0x7F) return refused(QStringLiteral("caractère de contrôle."));
    if (QStringLiteral("\\:*?\"<>|").contains(c))
      return refused(QStringLiteral("le caractère « %1 » est interdit dans un nom de fichier Windows.").arg(c));
  }
  return name;
}

void PackExecutable(const QString& output, const QString& base, const QStringList& files, const SecretKey* key) {
  const QStringList names = carriedNames(files);
  QFile baseFile(base);
  openForReading(&baseFile);
  const uint64_t baseSize = BaseExecutableSize(base);
  QSaveFile out(output);
  if (!out.open(QIODevice::WriteOnly))
    refuse(QStringLiteral("Impossible de créer %1 : %2").arg(output, out.errorString()));
  PackedExecutableWriter writer(&out);
  writer.appendBase(&baseFile, baseSize);
  for (qsizetype i = 0; i < files.size(); ++i) writer.appendFile(names[i], files[i]);
  writer.finish(key);
  out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                     QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther |
                     QFileDevice::ExeOther);
  if (!out.commit()) refuse(QStringLiteral("Impossible d'écrire %1 : %2").arg(output, out.errorString()));
}


void SignPackedExecutable(const QString& path, const SecretKey& key) {
  platform::ResourceSeal seal;
  if (!platform::prefix::ReadBlobSeal(path.toStdString(), &seal))
    refuse(QStringLiteral("%1 : mise à jour illisible ou endommagée (erreur %2).").arg(path, QString::number(platform::GetLastError())));
  if (seal.signedBytes.empty()) refuse(QStringLiteral("%1 n'intègre aucun fichier : rien à signer.").arg(path));
  if (!seal.hasDigests)
    refuse(QStringLiteral("%1 est d'un format sans empreintes : refaites-la avec kelvaro-pack avant de la signer.").arg(path));
  QFile in(path);
  openForReading(&in);
  const uint64_t blobsEnd = uint64_t(in.size()) - seal.signature.size() - seal.signedBytes.size();
  QSaveFile out(path);
  if (!out.open(QIODevice::WriteOnly)) refuse(QStringLiteral("Impossible de créer %1 : %2").arg(path, out.errorString()));
  // The base and the blobs unchanged, then the same index newly signed.
  PackedExecutableWriter copy(&out);
  copy.appendBase(&in, blobsEnd);
  const std::string tail = containerTail(seal.signedBytes, &key);
  if (out.write(tail.data(), qint64(tail.size())) != qint64(tail.size()) || !out.commit())
    refuse(QStringLiteral("Impossible d'écrire %1 : %2").arg(path, out.errorString()));
}

}  // namespace kelvaro

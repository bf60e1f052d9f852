#include "engine/update_signature.h"

#include <sodium.h>

#include <QFile>
#include <QFileInfo>

#include "platform/prefix/appended_blobs.h"
#include "support/errors.h"

namespace kelvaro {
namespace {

constexpr char kSecretHeader[] = "KELVARO ED25519 SECRET KEY";
constexpr char kPublicHeader[] = "KELVARO ED25519 PUBLIC KEY";
// Two lines and a little slack: a larger file is not a key.
constexpr qint64 kMaxKeyFileSize = 256;

static_assert(platform::prefix::kBlobSignatureSize == crypto_sign_PUBLICKEYBYTES + crypto_sign_BYTES);

void initSodium() {
  if (sodium_init() < 0) throw Error(QStringLiteral("Bibliothèque libsodium inutilisable."));
}

[[noreturn]] void notAKey(const QString& path, const char* kind) {
  throw Error(QStringLiteral("%1 n'est pas un fichier de clé %2 Kelvaro.").arg(path, QString::fromUtf8(kind)));
}

// The 32 bytes a key file of the given header holds.
std::array<uint8_t, 32> readKeyFile(const QString& path, const char* header, const char* kind) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    throw Error(QStringLiteral("Impossible de lire la clé %1 : %2").arg(path, file.errorString()));
  const QByteArray text = file.read(kMaxKeyFileSize + 1);
  if (text.size() > kMaxKeyFileSize) notAKey(path, kind);
  QList<QByteArray> lines = text.split('\n');
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
  if (lines.size() != 2 || lines[0] != header || lines[1].size() != 64) notAKey(path, kind);
  std::array<uint8_t, 32> bytes{};
  size_t length = 0;
  if (sodium_hex2bin(bytes.data(), bytes.size(), lines[1].constData(), 64, nullptr, &length, nullptr) != 0 ||
      length != bytes.size())
    notAKey(path, kind);
  return bytes;
}

QByteArray keyFileText(const char* header, const uint8_t* bytes) {
  char hex[65];
  sodium_bin2hex(hex, sizeof hex, bytes, 32);
  return QByteArray(header) + '\n' + QByteArray(hex) + '\n';
}

// Creates path with the given permissions from its first moment, refusing
// to replace a file.
void writeNewFile(const QString& path, const QByteArray& text, QFileDevice::Permissions permissions) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, permissions)) {
    throw Error(QFileInfo::exists(path) ? QStringLiteral("%1 existe déjà : la clé n'est pas remplacée.").arg(path)
                                        : QStringLiteral("Impossible de créer %1 : %2").arg(path, file.errorString()));
  }
  if (file.write(text) != text.size() || !file.flush()) {
    file.close();
    QFile::remove(path);
    throw Error(QStringLiteral("Impossible d'écrire %1.").arg(path));
  }
}

}  // namespace

SecretKey::~SecretKey() { sodium_memzero(bytes.data(), bytes.size()); }

void WriteNewKeyPair(const QString& name) {
  initSodium();
  const QString secretPath = name + QStringLiteral(".secret");
  const QString publicPath = name + QStringLiteral(".public");
  if (QFileInfo::exists(publicPath))
    throw Error(QStringLiteral("%1 existe déjà : la clé n'est pas remplacée.").arg(publicPath));
  PublicKey publicKey{};
  SecretKey secret;
  crypto_sign_keypair(publicKey.data(), secret.bytes.data());
  // libsodium's secret key starts with the seed it was made from.
  QByteArray text = keyFileText(kSecretHeader, secret.bytes.data());
  writeNewFile(secretPath, text, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  sodium_memzero(text.data(), size_t(text.size()));
  try {
    writeNewFile(publicPath, keyFileText(kPublicHeader, publicKey.data()),
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
  } catch (const Error&) {
    QFile::remove(secretPath);
    throw;
  }
}

void ReadSecretKey(const QString& path, SecretKey* key) {
  initSodium();
  std::array<uint8_t, 32> seed = readKeyFile(path, kSecretHeader, "secrète");
  PublicKey ignored{};
  crypto_sign_seed_keypair(ignored.data(), key->bytes.data(), seed.data());
  sodium_memzero(seed.data(), seed.size());
}

PublicKey ReadPublicKey(const QString& path) {
  initSodium();
  return readKeyFile(path, kPublicHeader, "publique");
}

QString KeyFingerprint(const PublicKey& key) {
  initSodium();
  uint8_t digest[crypto_hash_sha256_BYTES];
  crypto_hash_sha256(digest, key.data(), key.size());
  char hex[17];
  sodium_bin2hex(hex, sizeof hex, digest, 8);
  const QString text = QString::fromLatin1(hex).toUpper();
  return QStringList{text.mid(0, 4), text.mid(4, 4), text.mid(8, 4), text.mid(12, 4)}.join(QLatin1Char('-'));
}

std::string SignatureBlock(const SecretKey& key, const std::string& message) {
  initSodium();
  std::string block(crypto_sign_PUBLICKEYBYTES + crypto_sign_BYTES, '\0');
  uint8_t* out = reinterpret_cast<uint8_t*>(block.data());
  crypto_sign_ed25519_sk_to_pk(out, key.bytes.data());
  crypto_sign_detached(out + crypto_sign_PUBLICKEYBYTES, nullptr, reinterpret_cast<const uint8_t*>(message.data()),
                       message.size(), key.bytes.data());
  return block;
}

SignatureState CheckSignatureBlock(const std::string& block, const std::string& message, PublicKey* signer) {
  initSodium();
  if (block.empty()) return SignatureState::Unsigned;
  if (block.size() != crypto_sign_PUBLICKEYBYTES + crypto_sign_BYTES) return SignatureState::Invalid;
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(block.data());
  std::copy(bytes, bytes + crypto_sign_PUBLICKEYBYTES, signer->begin());
  const int verified =
      crypto_sign_verify_detached(bytes + crypto_sign_PUBLICKEYBYTES, reinterpret_cast<const uint8_t*>(message.data()),
                                  message.size(), signer->data());
  return verified == 0 ? SignatureState::Valid : SignatureState::Invalid;
}

}  // namespace kelvaro

#include "engine/update_check.h"

#include <sodium.h>

#include <algorithm>
#include <memory>

#include "engine/payload.h"
#include "platform/module_resources.h"
#include "platform/system.h"
#include "support/errors.h"
#include "support/text.h"

namespace kelvaro {
namespace {

// Inflated bytes are thrown away in pieces of this size.
constexpr size_t kScratchSize = 256 * 1024;

// Passes the payload reader's reads through, hashing the bytes in order, so
// that one pass over the stored bytes serves both the digest and zlib.
class DigestingSource : public platform::ResourceData {
 public:
  explicit DigestingSource(platform::ResourceData* source) : source_(source) { crypto_hash_sha256_init(&state_); }
  uint64_t size() const override { return source_->size(); }
  int64_t Read(uint64_t offset, void* buffer, size_t count) override {
    const int64_t got = source_->Read(offset, buffer, count);
    // The reader asks front to back; hashing only what extends the hashed
    // prefix keeps the digest right should it ever read a piece again.
    if (got > 0 && offset <= hashed_ && offset + uint64_t(got) > hashed_) {
      const uint64_t skip = hashed_ - offset;
      crypto_hash_sha256_update(&state_, static_cast<const unsigned char*>(buffer) + skip, uint64_t(got) - skip);
      hashed_ = offset + uint64_t(got);
    }
    return got;
  }
  // Hashes what the reader left unread (after a fault) and gives the digest.
  platform::ResourceDigest finish() {
    std::vector<char> chunk(kScratchSize);
    while (hashed_ < size()) {
      if (Read(hashed_, chunk.data(), chunk.size()) <= 0) throw OsError(platform::GetLastError());
    }
    platform::ResourceDigest digest{};
    crypto_hash_sha256_final(&state_, digest.data());
    return digest;
  }

 private:
  platform::ResourceData* source_;
  crypto_hash_sha256_state state_{};
  uint64_t hashed_ = 0;
};

// Inflates the whole payload and checks it; the reason when it fails.
QString inflateProblem(const QString& name, platform::ResourceData* source) {
  try {
    PayloadReader reader(name, source);
    const PayloadHeader header = reader.readHeader();
    std::vector<char> scratch(static_cast<size_t>(std::min<uint64_t>(header.size, kScratchSize)));
    for (uint64_t left = header.size; left > 0;) {
      const size_t piece = static_cast<size_t>(std::min<uint64_t>(left, scratch.size()));
      reader.readData(scratch.data(), piece);
      left -= piece;
    }
    reader.finish();
  } catch (const OsError&) {
    throw;
  } catch (const Error& error) {
    return error.message();
  }
  return {};
}

QString hex(const platform::ResourceDigest& digest) {
  char text[2 * sizeof digest + 1];
  sodium_bin2hex(text, sizeof text, digest.data(), digest.size());
  return QString::fromLatin1(text);
}

CarriedFileCheck checkFile(const platform::ResourceSeal::Resource& stored, bool hasDigest) {
  CarriedFileCheck check;
  check.name = toQ(stored.name);
  const std::unique_ptr<platform::ResourceData> resource = platform::FindDataResource(stored.name);
  if (!resource) throw OsError(platform::GetLastError());
  DigestingSource source(resource.get());
  check.problem = inflateProblem(check.name, &source);
  const auto digest = source.finish();
  check.digest = hex(digest);
  // A digest that differs says more than the zlib fault it usually causes:
  // the file is not the one that was packed.
  if (hasDigest && sodium_memcmp(digest.data(), stored.digest.data(), digest.size()) != 0) {
    check.problem = QStringLiteral("Le fichier intégré \"%1\" est endommagé : son empreinte SHA-256 ne correspond pas "
                                   "à celle de l'index.")
                        .arg(check.name);
  }
  return check;
}

// Reads the index and checks its signature.
UpdateCheck checkIndex(platform::ResourceSeal* seal) {
  if (sodium_init() < 0) throw Error(QStringLiteral("Bibliothèque libsodium inutilisable."));
  if (!platform::ReadResourceSeal(seal)) {
    throw Error(QStringLiteral("La mise à jour est endommagée ou tronquée : son index est illisible (%1).")
                    .arg(toQ(platform::FormatSystemMessage(platform::GetLastError())).trimmed()));
  }
  UpdateCheck check;
  check.hasDigests = seal->hasDigests;
  check.signature = CheckSignatureBlock(seal->signature, seal->signedBytes, &check.signer);
  return check;
}

void checkFiles(const platform::ResourceSeal& seal, bool stopAtFirstBad, UpdateCheck* check) {
  for (const platform::ResourceSeal::Resource& resource : seal.resources) {
    check->files.push_back(checkFile(resource, seal.hasDigests));
    if (stopAtFirstBad && !check->files.back().problem.isEmpty()) return;
  }
}

}  // namespace

const CarriedFileCheck* UpdateCheck::firstBadFile() const {
  const auto bad = std::find_if(files.begin(), files.end(), [](const CarriedFileCheck& f) { return !f.problem.isEmpty(); });
  return bad == files.end() ? nullptr : &*bad;
}

UpdateCheck CheckUpdate(bool stopAtFirstBad) {
  platform::ResourceSeal seal;
  UpdateCheck check = checkIndex(&seal);
  checkFiles(seal, stopAtFirstBad, &check);
  return check;
}

UpdateCheck VerifyUpdate(const std::optional<PublicKey>& trusted) {
  platform::ResourceSeal seal;
  UpdateCheck check = checkIndex(&seal);
  // The signature first: it costs nothing, and a forged index would make its
  // digests meaningless.
  const QString refused = TrustProblem(check, trusted);
  if (!refused.isEmpty()) throw Error(refused);
  checkFiles(seal, true, &check);
  if (const CarriedFileCheck* bad = check.firstBadFile()) throw Error(bad->problem);
  return check;
}

QString TrustProblem(const UpdateCheck& check, const std::optional<PublicKey>& trusted) {
  const auto refused = [](const QString& why) { return QStringLiteral("Mise à jour refusée : %1").arg(why); };
  if (check.signature == SignatureState::Invalid)
    return refused(QStringLiteral("sa signature ne correspond pas à son contenu, modifié après la signature."));
  if (!trusted) return {};
  if (check.signature == SignatureState::Unsigned)
    return refused(QStringLiteral("elle n'est pas signée et la clé %1 est exigée.").arg(KeyFingerprint(*trusted)));
  if (check.signer != *trusted)
    return refused(QStringLiteral("elle est signée par la clé %1 et non par la clé %2.")
                       .arg(KeyFingerprint(check.signer), KeyFingerprint(*trusted)));
  return {};
}

QString SignatureLine(const UpdateCheck& check) {
  if (check.signature == SignatureState::Unsigned) return QStringLiteral("Mise à jour non signée.");
  return QStringLiteral("Mise à jour signée par la clé %1.").arg(KeyFingerprint(check.signer));
}

}  // namespace kelvaro

#include "engine/update_check.h"

#include <sodium.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "engine/payload.h"
#include "platform/module_resources.h"
#include "platform/system.h"
#include "support/errors.h"
#include "support/text.h"

namespace kelvaro {
namespace {

// Stored bytes are read, and inflated bytes thrown away, in pieces of this
// size.
constexpr size_t kChunk = 256 * 1024;

// SHA-256 of the resource's stored bytes.
platform::ResourceDigest digestOf(platform::ResourceData* resource) {
  crypto_hash_sha256_state state;
  crypto_hash_sha256_init(&state);
  std::vector<unsigned char> chunk(static_cast<size_t>(std::min<uint64_t>(resource->size(), kChunk)));
  for (uint64_t offset = 0; offset < resource->size();) {
    const int64_t got = resource->Read(offset, chunk.data(), chunk.size());
    if (got <= 0) throw OsError(got < 0 ? platform::GetLastError() : platform::kErrorHandleEof);
    crypto_hash_sha256_update(&state, chunk.data(), uint64_t(got));
    offset += uint64_t(got);
  }
  platform::ResourceDigest digest{};
  crypto_hash_sha256_final(&state, digest.data());
  return digest;
}

// Inflates the whole payload and checks it; the reason when it fails.
QString inflateProblem(const QString& name, platform::ResourceData* source) {
  try {
    PayloadReader reader(name, source);
    const PayloadHeader header = reader.readHeader();
    std::vector<char> scratch(static_cast<size_t>(std::min<uint64_t>(header.size, kChunk)));
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

// With a digest, the stored bytes are exactly those the packager wrote, which
// inflate soundly: comparing them is the whole check, and hashing costs far
// less than inflating. Without one, inflating to the end is the only check
// there is (header, sizes, Adler-32).
CarriedFileCheck checkFile(const platform::ResourceSeal::Resource& stored, bool hasDigest) {
  CarriedFileCheck check;
  check.name = toQ(stored.name);
  const std::unique_ptr<platform::ResourceData> resource = platform::FindDataResource(stored.name);
  if (!resource) throw OsError(platform::GetLastError());
  if (!hasDigest) {
    check.problem = inflateProblem(check.name, resource.get());
    return check;
  }
  const platform::ResourceDigest digest = digestOf(resource.get());
  check.digest = hex(digest);
  if (sodium_memcmp(digest.data(), stored.digest.data(), digest.size()) != 0) {
    check.problem = QStringLiteral(
                        "Le fichier intégré \"%1\" est endommagé : son empreinte SHA-256 ne correspond pas "
                        "à celle de l'index.")
                        .arg(check.name);
  }
  return check;
}

// Reads the index and checks its signature.
UpdateCheck checkIndex(platform::ResourceSeal* seal) {
  if (sodium_init() < 0) throw Error(QStringLiteral("Bibliothèque libsodium inutilisable."));
  if (!platform::ReadResourceSeal(seal)) {
    throw Error(QStringLiteral("La mise à jour est endommagée ou tronquée, son index est illisible : %1")
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
  const auto bad =
      std::find_if(files.begin(), files.end(), [](const CarriedFileCheck& f) { return !f.problem.isEmpty(); });
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

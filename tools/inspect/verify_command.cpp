// kelvaro-inspect verify UPDATE [--trust KEYFILE]: the check a run makes
// before it changes anything, file by file: each carried file's SHA-256 and
// what its check found, whether the index holds digests, the signature's
// state and, with a trusted key, whether a run with --trust would accept it.
// Exit code 0 when a run would go ahead, 1 when it would refuse.
#include <QFileInfo>
#include <optional>

#include "command_registry.h"
#include "engine/update_check.h"
#include "platform/module_resources.h"
#include "support/errors.h"
#include "support/text.h"

namespace inspect {
namespace {

QString SignatureState(const kelvaro::UpdateCheck& check) {
  switch (check.signature) {
    case kelvaro::SignatureState::Unsigned:
      return QStringLiteral("Signature : aucune.");
    case kelvaro::SignatureState::Valid:
      return QStringLiteral("Signature : clé %1, valide.").arg(kelvaro::KeyFingerprint(check.signer));
    case kelvaro::SignatureState::Invalid:
      return QStringLiteral("Signature : non valide (clé annoncée %1).").arg(kelvaro::KeyFingerprint(check.signer));
  }
  return {};
}

int Verify(const QString& update, const std::optional<kelvaro::PublicKey>& trusted) {
  if (!QFileInfo(update).isFile() || !platform::SetResourceModule(kelvaro::toW(QFileInfo(update).absoluteFilePath())))
    throw kelvaro::Error(QStringLiteral("%1 : fichier introuvable ou illisible.").arg(update));
  const kelvaro::UpdateCheck check = kelvaro::CheckUpdate(false);
  for (const kelvaro::CarriedFileCheck& file : check.files)
    Out(file.name + QLatin1Char('\t') + (file.digest.isEmpty() ? QStringLiteral("-") : file.digest) +
        QLatin1Char('\t') + (file.problem.isEmpty() ? QStringLiteral("correct") : file.problem));
  Out(check.hasDigests ? QStringLiteral("Empreintes SHA-256 : dans l'index.")
                       : QStringLiteral("Empreintes SHA-256 : aucune (format antérieur, seul le contrôle de zlib "
                                        "s'applique)."));
  Out(SignatureState(check));
  const QString refused = kelvaro::TrustProblem(check, trusted);
  if (!refused.isEmpty())
    Out(refused);
  else if (trusted)
    Out(QStringLiteral("Clé de confiance %1 : mise à jour acceptée.").arg(kelvaro::KeyFingerprint(*trusted)));
  return check.firstBadFile() || !refused.isEmpty() ? 1 : 0;
}

int RunVerify(const QStringList& args) {
  const bool withTrust = args.size() == 3 && args[1] == QLatin1String("--trust");
  if (args.size() != 1 && !withTrust) {
    Err(QStringLiteral("usage: kelvaro-inspect verify UPDATE [--trust KEYFILE]"));
    return 2;
  }
  try {
    std::optional<kelvaro::PublicKey> trusted;
    if (withTrust) trusted = kelvaro::ReadPublicKey(args[2]);
    return Verify(args[0], trusted);
  } catch (const kelvaro::Error& error) {
    Err(error.message());
    return 1;
  }
}

const InspectCommand kVerify("verify", "verify UPDATE [--trust KEYFILE]",
                             "each carried file's SHA-256 and check, the signature, and whether a run "
                             "(with --trust, one trusting that key) would go ahead: 0 when it would, 1 when not",
                             RunVerify);

}  // namespace
}  // namespace inspect

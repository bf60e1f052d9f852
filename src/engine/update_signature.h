// Ed25519 keys and signatures of updates, all through libsodium.
//
// Key files are two short text lines, so an administrator can tell them
// apart and copy a public key by hand:
//
//   KELVARO ED25519 SECRET KEY           KELVARO ED25519 PUBLIC KEY
//   <64 hex digits: the key's seed>      <64 hex digits: the public key>
//
// A signature block (kBlobSignatureSize bytes in a packed update) is the
// signer's public key followed by the detached signature, so that an
// unattended run can say which key signed even when it trusts another.
//
// What this promises on bad input: a key file is read only up to a small
// limit, and anything but exactly the two lines of the expected kind raises
// kelvaro::Error naming the file; WriteNewKeyPair never replaces an existing
// key and leaves the secret file readable by its owner only from the moment
// it exists.
#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <string>

namespace kelvaro {

using PublicKey = std::array<uint8_t, 32>;

// A secret key (libsodium's 64-byte form), wiped when it goes.
class SecretKey {
 public:
  SecretKey() = default;
  ~SecretKey();
  SecretKey(const SecretKey&) = delete;
  SecretKey& operator=(const SecretKey&) = delete;

  std::array<uint8_t, 64> bytes{};
};

// Writes NAME.secret (mode 0600) and NAME.public. Raises Error when either
// exists already or cannot be written.
void WriteNewKeyPair(const QString& name);

void ReadSecretKey(const QString& path, SecretKey* key);
PublicKey ReadPublicKey(const QString& path);

// The public key's SHA-256, its first eight bytes in four groups of hex
// digits ("3F2A-9C01-77BE-0D45"): what the report and the tools show.
QString KeyFingerprint(const PublicKey& key);

// The signature block of message: public key, then signature.
std::string SignatureBlock(const SecretKey& key, const std::string& message);

enum class SignatureState {
  Unsigned,  // no signature block
  Valid,     // the block's key signed exactly these bytes
  Invalid,   // a block of the wrong size, or the bytes changed after signing
};

// Checks block against message; signer receives the block's key whenever the
// block has the right size.
SignatureState CheckSignatureBlock(const std::string& block, const std::string& message, PublicKey* signer);

}  // namespace kelvaro

// The signature block on its own, whatever the container reader lets
// through: only a block of exactly a key and a signature that signed exactly
// these bytes is valid.
#include <gtest/gtest.h>

#include <sodium.h>

#include <string>
#include <vector>

#include "engine/update_signature.h"

namespace {

using kelvaro::SignatureState;

TEST(SignatureBlock, OnlyAWholeBlockOverTheSameBytesIsValid) {
  ASSERT_GE(sodium_init(), 0);
  kelvaro::SecretKey key;
  kelvaro::PublicKey publicKey{};
  crypto_sign_keypair(publicKey.data(), key.bytes.data());
  const std::string message = "index bytes";
  const std::string block = kelvaro::SignatureBlock(key, message);
  ASSERT_EQ(block.size(), 96u);

  struct Case {
    const char* what;
    std::string block;
    std::string message;
    SignatureState state;
  };
  std::string flipped = block;
  flipped[70] ^= 0x01;
  const std::vector<Case> cases = {
      {"the block as signed", block, message, SignatureState::Valid},
      {"no block", "", message, SignatureState::Unsigned},
      {"one byte short", block.substr(0, 95), message, SignatureState::Invalid},
      {"one byte more", block + '\0', message, SignatureState::Invalid},
      {"a signature byte changed", flipped, message, SignatureState::Invalid},
      {"the bytes changed after signing", block, "index bytez", SignatureState::Invalid},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    kelvaro::PublicKey signer{};
    EXPECT_EQ(kelvaro::CheckSignatureBlock(c.block, c.message, &signer), c.state);
    if (c.state == SignatureState::Valid) {
      EXPECT_EQ(signer, publicKey);
    }
  }
}

}  // namespace

// The check of a whole update before its run changes anything: the index's
// signature, then every carried file read through once, its stored bytes
// compared with the SHA-256 digest the packager put in the index, or, in an
// update packed before digests, inflated to the end (header, sizes,
// Adler-32).
//
// What this promises: the check only reads. CheckUpdate reports what it
// found file by file and never raises for a damaged file; VerifyUpdate turns
// the first fault into one Error whose message is the French line for the
// report, naming the file. An update packed before digests existed is
// checked as far as zlib's own checksum goes, and that is not a fault.
#pragma once

#include <QString>
#include <optional>
#include <vector>

#include "engine/update_signature.h"

namespace kelvaro {

struct CarriedFileCheck {
  QString name;     // as stored
  QString digest;   // SHA-256 of the stored bytes, hex; empty without digests
  QString problem;  // empty when the file is sound
};

struct UpdateCheck {
  bool hasDigests = false;
  std::vector<CarriedFileCheck> files;
  SignatureState signature = SignatureState::Unsigned;
  PublicKey signer{};  // set when signature is not Unsigned

  // The first file with a problem, or null.
  const CarriedFileCheck* firstBadFile() const;
};

// Checks the module whose resources are read (platform::SetResourceModule).
// stopAtFirstBad ends the reading at the first damaged file. Raises Error
// only when the update's index itself cannot be read.
UpdateCheck CheckUpdate(bool stopAtFirstBad);

// The check a run makes before it starts: raises Error with the report's
// line for an index that cannot be read, a broken signature, a carried file
// that fails its check, and, when trusted is given, an update that the
// trusted key did not sign. Returns what it found.
UpdateCheck VerifyUpdate(const std::optional<PublicKey>& trusted);

// Why a run must refuse the update for its signature, or empty: a signature
// that does not match the index, and, when trusted is given, an update that
// key did not sign.
QString TrustProblem(const UpdateCheck& check, const std::optional<PublicKey>& trusted);

// The report's line about the signature: "Mise à jour signée par la clé
// <fingerprint>." or "Mise à jour non signée.".
QString SignatureLine(const UpdateCheck& check);

}  // namespace kelvaro

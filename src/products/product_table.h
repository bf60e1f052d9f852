// The products of the family, the outcome of an update step, and the mapping
// from a product name or database alias to its product type.
#pragma once

#include <QString>
#include <array>
#include <cstdint>

namespace kelvaro {

enum TAppNameType : uint8_t {
  antUnknown = 0,
  antWKS = 1,
  antWKR = 2,
  antTorvida = 3,
  antPastrel = 4,
  antPDFDLL = 5,
  antNimbaro = 6,
  antBrevani = 7,
  antSolmira = 8,
  antFinance = 9,
  antQRV = 10,
  antFerrolune = 11,
  antCommon = 12,
  antImagora = 13,
  antZRT = 14,
  antBureaulin = 15,
};

inline constexpr int kProductCount = 16;

// Display names indexed by TAppNameType; entry 0 is empty.
extern const std::array<const char*, kProductCount> ProductTable;

QString ProductName(TAppNameType type);

// Table names 1..15 in order, then the aliases "WKS_PRO", "WKS_ING",
// "WK_Torvida", ignoring the case of ASCII letters; antUnknown otherwise.
TAppNameType ProductFromName(const QString& name);

enum TUpdateResultType : uint8_t {
  urtUnknown = 0,  // nothing done
  urtOk = 1,
  urtKo = 2,       // failed
  urtNot = 3,      // not done: the user declined
  urtWarning = 4,  // done, with warnings
};

}  // namespace kelvaro

#include "products/product_table.h"

namespace kelvaro {
namespace {

// ASCII-only case folding: accented letters must match exactly, as the
// comparison the products have always used.
bool EqualsIgnoringAsciiCase(const QString& a, const QString& b) {
  if (a.size() != b.size()) return false;
  for (qsizetype i = 0; i < a.size(); ++i) {
    char16_t x = a[i].unicode(), y = b[i].unicode();
    if (x >= u'a' && x <= u'z') x = char16_t(x - 32);
    if (y >= u'a' && y <= u'z') y = char16_t(y - 32);
    if (x != y) return false;
  }
  return true;
}

struct Alias {
  const char* name;
  TAppNameType type;
};
constexpr Alias kDatabaseAliases[] = {{"WKS_PRO", antWKS}, {"WKS_ING", antWKR}, {"WK_Torvida", antTorvida}};

}  // namespace

const std::array<const char*, kProductCount> ProductTable = {
    "",      "Sorbano", "Sorbano Ingenieur", "Torvida", "Pastrel", "PDFDLL", "Nimbaro", "Brevani",
    "Solmira", "Kelvaro Finance", "QRV", "Ferrolune", "Common", "Imagora", "ZRT", "Bureaulin"};

QString ProductName(TAppNameType type) {
  return type < kProductCount ? QString::fromLatin1(ProductTable[type]) : QString();
}

TAppNameType ProductFromName(const QString& name) {
  if (name.isEmpty()) return antUnknown;
  for (int i = 1; i < kProductCount; ++i) {
    if (EqualsIgnoringAsciiCase(name, QString::fromLatin1(ProductTable[i]))) return TAppNameType(i);
  }
  for (const Alias& alias : kDatabaseAliases) {
    if (EqualsIgnoringAsciiCase(name, QString::fromLatin1(alias.name))) return alias.type;
  }
  return antUnknown;
}

}  // namespace kelvaro

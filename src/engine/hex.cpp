#include "engine/hex.h"

#include <cstdint>

namespace kelvaro {

int HexToInt(const QString& Text) {
  if (Text.isEmpty() || Text.size() > 8) return 0;
  uint32_t value = 0;
  for (const QChar c : Text.toLower()) {
    const char16_t u = c.unicode();
    if (u == u' ') continue;
    uint32_t digit = 0;
    if (u >= u'0' && u <= u'9') digit = u - u'0';
    else if (u >= u'a' && u <= u'f') digit = 10 + (u - u'a');
    else return 0;
    value = value * 16 + digit;
  }
  return int(value);
}

}  // namespace kelvaro

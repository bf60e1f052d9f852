#include "engine/hex.h"

#include <gtest/gtest.h>

namespace kelvaro {
namespace {

TEST(HexToInt, ReadsHexadecimalTextOrGivesZero) {
  const struct {
    const char16_t* text;
    int value;
  } cases[] = {
      {u"040C", 1036},
      {u"04 0C", 1036},     // spaces are skipped
      {u"040c", 1036},      // either case
      {u" 4e4 ", 0x04E4},
      {u"04G0", 0},         // an invalid character gives 0, not 4
      {u"123456789", 0},    // more than 8 characters
      {u"12345678", 0x12345678},
      {u"FFFFFFFF", -1},    // eight digits fill the 32 bits
      {u"        ", 0},
      {u"", 0},
      {u"-1", 0},
      {u"0x10", 0},
      {u"é", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(HexToInt(QString::fromUtf16(c.text)), c.value) << QString::fromUtf16(c.text).toStdString();
  }
}

}  // namespace
}  // namespace kelvaro

// Text in the Windows code page or with a byte-order mark, cut into lines.
#include <gtest/gtest.h>

#include "support/text.h"

namespace {

TEST(DecodeTextLines, LineAndEncodingRules) {
  struct Case {
    const char* what;
    QByteArray bytes;
    QStringList lines;
  } cases[] = {
      {"one line without terminator", "Torvida", {"Torvida"}},
      {"one line with CR LF", "Torvida\r\n", {"Torvida"}},
      {"empty middle line", "a\r\n\r\nb", {"a", "", "b"}},
      {"lone CR and lone LF", "a\rb\nc", {"a", "b", "c"}},
      {"LF CR is two breaks", "a\n\rb", {"a", "", "b"}},
      {"only a terminator", "\r\n", {""}},
      {"nothing", "", {}},
      {"Windows-1252", "Mis \xE0 jour \xE9t\xE9 \x80", {QString::fromUtf8("Mis à jour été €")}},
      {"UTF-8 mark", "\xEF\xBB\xBF\xC3\xA9t\xC3\xA9\r\nb", {QString::fromUtf8("été"), "b"}},
      {"UTF-16 LE mark", QByteArray("\xFF\xFE\xE9\0\r\0\n\0b\0", 10), {QString::fromUtf8("é"), "b"}},
      {"UTF-16 BE mark", QByteArray("\xFE\xFF\0\xE9\0\n\0b", 8), {QString::fromUtf8("é"), "b"}},
  };
  for (const Case& c : cases) EXPECT_EQ(kelvaro::DecodeTextLines(c.bytes), c.lines) << c.what;
}

}  // namespace

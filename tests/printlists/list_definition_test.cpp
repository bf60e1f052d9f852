// Reading the header of a print-list definition.
#include <gtest/gtest.h>

#include "printlists/list_definition.h"

namespace kelvaro {
namespace {

QStringList Lines(std::initializer_list<const char*> lines) {
  QStringList list;
  for (const char* line : lines) list << QString::fromUtf8(line);
  return list;
}

TEST(ListDefinitionTest, HeaderTable) {
  const QString title300 = QString(300, QLatin1Char('t'));
  struct Case {
    const char* what;
    QStringList lines;
    const char* compat;
    QString f, i, d;
  } cases[] = {
      {"all three titles and the tag",
       Lines({"DES:D:Kunden", "DES:F:Clients /* 2008", "DES:I:Clienti", "COM:Torvida", "PRO:P"}), "Torvida",
       "Clients", "Clienti", "Kunden"},
      {"no description lines: the default title", Lines({"COM:Torvida", "PRO:P"}), "Torvida", "clients", "clients",
       "clients"},
      {"only an X line, stripped", Lines({"DES:X:  Adresses /* x"}), "", "Adresses", "Adresses", "Adresses"},
      {"leading space and lower-case prefixes are not header lines",
       Lines({" DES:F:Non", "des:F:Non", "DES:f:Non", "COM :x"}), "", "clients", "clients", "clients"},
      {"the first of two F lines counts", Lines({"DES:F:Premier", "DES:F:Second"}), "", "Premier", "clients",
       "clients"},
      {"a title that only becomes empty through stripping stays empty", Lines({"DES:F:/* rien", "DES:X:Tout"}), "",
       "", "Tout", "Tout"},
      {"a tag of spaces only is empty", Lines({"COM:    "}), "", "clients", "clients", "clients"},
      {"a 300-character title is cut to 255", QStringList{QStringLiteral("DES:F:") + title300}, "",
       title300.left(255), "clients", "clients"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ListHeader header = ReadListHeader(c.lines, QStringLiteral("clients"));
    EXPECT_EQ(header.compat, QString::fromUtf8(c.compat));
    EXPECT_EQ(header.fTitle, c.f);
    EXPECT_EQ(header.iTitle, c.i);
    EXPECT_EQ(header.dTitle, c.d);
  }
}

TEST(ListDefinitionTest, StripCommentTable) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"Clients /* 2008", "Clients"}, {"/* tout", ""}, {"a/b*c", "a/b*c"}, {"fin/", "fin/"},
      {"\t x \r", "x"},                {"a /**/ b", "a"}, {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(StripComment(QString::fromUtf8(c.in)), QString::fromUtf8(c.out)) << c.in;
}

TEST(ListDefinitionTest, FindLinesGiveTheFirstIndex) {
  const QStringList lines = Lines({"/* comment", "COM:A", "DES:I:x", "COM:B"});
  EXPECT_EQ(FindCompatLine(lines), 1);
  EXPECT_EQ(FindDescriptionLine(lines, QLatin1Char('I')), 2);
  EXPECT_EQ(FindDescriptionLine(lines, QLatin1Char('D')), -1);
  EXPECT_EQ(FindCompatLine({}), -1);
}

// Definition files as they come: any bytes, any size, any line ends.
TEST(ListDefinitionTest, DefinitionLinesOfOddFiles) {
  struct Case {
    const char* what;
    QByteArray bytes;
    QStringList lines;
  } cases[] = {
      {"empty", QByteArray(), {}},
      {"no line end at all", QByteArray("DES:F:Seule"), {"DES:F:Seule"}},
      {"only line ends", QByteArray("\r\n\n\r"), {"", "", ""}},
      {"lone CR, LF CR and CR LF each end one line", QByteArray("a\rb\n\rc\r\nd"), {"a", "b", "", "c", "d"}},
      {"the text ends at the first NUL", QByteArray("DES:F:a\r\nb\0c\r\nDES:I:x", 21), {"DES:F:a", "b"}},
      {"a NUL first: nothing", QByteArray("\0DES:F:a", 8), {}},
      {"undefined ANSI bytes keep their code", QByteArray("\x81\x8D\x8F\x90\x9D\x80"),
       {QString::fromUtf16(u"\u0081\u008D\u008F\u0090\u009D\u20AC")}},
  };
  for (const Case& c : cases) EXPECT_EQ(DefinitionLines(c.bytes), c.lines) << c.what;
}

// A 10 MB definition, in one line or in many, reads whole and quickly; its
// titles are still cut to 255 characters.
TEST(ListDefinitionTest, TenMegabyteDefinitions) {
  constexpr qsizetype kSize = 10 << 20;
  QByteArray oneLine = "DES:F:" + QByteArray(kSize, 'x');
  QStringList lines = DefinitionLines(oneLine);
  ASSERT_EQ(lines.size(), 1);
  EXPECT_EQ(lines[0].size(), kSize + 6);
  EXPECT_EQ(ReadListHeader(lines, QStringLiteral("liste")).fTitle, QString(255, QLatin1Char('x')));

  QByteArray manyLines;
  manyLines.reserve(kSize + 64);
  manyLines += "COM:Torvida\r\n";
  while (manyLines.size() < kSize) manyLines += "LIG:0123456789;0123456789;0123456789\r\n";
  manyLines += "DES:F:Fin";
  lines = DefinitionLines(manyLines);
  EXPECT_EQ(lines.size(), manyLines.count('\n') + 1);
  const ListHeader header = ReadListHeader(lines, QStringLiteral("liste"));
  EXPECT_EQ(header.compat, QStringLiteral("Torvida"));
  EXPECT_EQ(header.fTitle, QStringLiteral("Fin"));
}

}  // namespace
}  // namespace kelvaro

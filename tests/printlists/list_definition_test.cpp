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

}  // namespace
}  // namespace kelvaro

// The RTF reader, through StreamInRichText as the wizard calls it: small
// documents and what they must show, then input that is broken or hostile.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

#include "rtf_stream_in.h"

namespace kelvaro {
namespace {

using rtf_test::StreamIn;

// The character format in force at the first occurrence of needle.
QTextCharFormat FormatAt(QTextDocument* document, const QString& needle) {
  const QTextCursor found = document->find(needle);
  if (found.isNull()) return QTextCharFormat();
  QTextCursor cursor(document);
  cursor.setPosition(found.selectionStart() + 1);  // the format of the character before
  return cursor.charFormat();
}

// ---------------------------------------------------------------------------
// Text and characters

struct TextCase {
  const char* name;
  QByteArray rtf;
  QString text;  // plain text, paragraphs and line breaks as '\n'
};

class RtfTextTest : public testing::TestWithParam<TextCase> {};

TEST_P(RtfTextTest, ShowsTheText) {
  QTextDocument document;
  ASSERT_EQ(0, StreamIn(&document, GetParam().rtf));
  EXPECT_EQ(GetParam().text, document.toPlainText());
}

const TextCase kTextCases[] = {
    {"plain", "{\\rtf1\\ansi Hello world}", "Hello world"},
    {"paragraphs", "{\\rtf1 one\\par two\\par three}", "one\ntwo\nthree"},
    {"line_and_tab", "{\\rtf1 a\\line b\\tab c}", "a\nb\tc"},
    {"word_delimiter_space_is_eaten", "{\\rtf1\\b bold\\b0  next}", "bold next"},
    {"file_line_ends_are_not_text", "{\\rtf1 a\r\nb\nc}", "abc"},
    {"escaped_braces", "{\\rtf1 \\{x\\} \\\\}", "{x} \\"},
    {"hex_e_acute", "{\\rtf1\\ansi caf\\'e9}", QString::fromUtf8("café")},
    {"hex_euro_1252", "{\\rtf1\\ansi 5 \\'80}", QString::fromUtf8("5 €")},
    {"hex_upper_case", "{\\rtf1 \\'C9t\\'C9}", QString::fromUtf8("ÉtÉ")},
    {"raw_high_byte_is_1252", "{\\rtf1 caf\xe9}", QString::fromUtf8("café")},
    {"unicode_with_fallback", "{\\rtf1\\uc1 \\u8364?}", QString::fromUtf8("€")},
    {"unicode_fallback_hex_counts_one", "{\\rtf1\\uc1 \\u8364\\'80 x}", QString::fromUtf8("€ x")},
    {"unicode_negative", "{\\rtf1\\uc1 \\u-4064?}", QString(QChar(0xF020))},
    {"unicode_uc2", "{\\rtf1\\uc2 \\u233ab|}", QString::fromUtf8("é|")},
    {"unicode_uc0", "{\\rtf1\\uc0 \\u233 x}", QString::fromUtf8("éx")},
    {"unicode_surrogate_pair", "{\\rtf1\\uc1 \\u-10179?\\u-8704?}", QString::fromUtf8("😀")},
    {"uc_restored_after_group", "{\\rtf1\\uc1 {\\uc2 \\u233xx}\\u233x}", QString::fromUtf8("éé")},
    {"ansicpg_1251", "{\\rtf1\\ansi\\ansicpg1251 \\'e0\\'e1}", QString::fromUtf8("аб")},
    {"fcharset_238_font", "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset238 Arial CE;}}"
                          "\\f0\\'e8 \\f1\\'e8}", QString::fromUtf8("è č")},
    {"fcharset_161_greek", "{\\rtf1{\\fonttbl{\\f0\\fcharset161 Arial Greek;}}\\f0\\'e1}",
     QString::fromUtf8("α")},
    {"fcharset_204_cyrillic", "{\\rtf1{\\fonttbl{\\f0\\fcharset204 Arial;}}\\f0\\'c0}",
     QString::fromUtf8("А")},
    {"symbol_bullet", "{\\rtf1{\\fonttbl{\\f0\\fnil\\fcharset0 Arial;}{\\f1\\fnil\\fcharset2 Symbol;}}"
                      "{\\pntext\\f1\\'b7\\tab}\\f0 item}", QString::fromUtf8("•\titem")},
    {"list_text_shown", "{\\rtf1{\\listtext\\pard\\plain 1.\\tab}\\li720\\fi-360 un}", "1.\tun"},
    // A numbering without number leaves only its tab: left out, not a jump.
    {"empty_list_text_left_out", "{\\rtf1 a\\par{\\listtext\\pard\\plain \\tab}Titre}", "a\nTitre"},
    {"named_characters", "{\\rtf1 \\emdash\\endash\\bullet\\lquote\\rquote\\ldblquote\\rdblquote}",
     QString::fromUtf8("—–•‘’“”")},
    {"nonbreaking_space", "{\\rtf1 a\\~b}", "a b"},
    {"font_and_colour_tables_hidden",
     "{\\rtf1{\\fonttbl{\\f0\\fswiss Arial;}}{\\colortbl ;\\red255\\green0\\blue0;}Text}", "Text"},
    {"pict_skipped", "{\\rtf1 a{\\pict\\wmetafile8 0123456789abcdef}b}", "ab"},
    {"pict_with_bin_skipped", "{\\rtf1 a{\\pict\\bin4 }{}\\}b}", "ab"},
    {"starred_destination_skipped", "{\\rtf1{\\*\\generator Riched20 10.0;}x{\\*\\unknown y{z}}w}", "xw"},
    {"info_stylesheet_header_footer_skipped",
     "{\\rtf1{\\info{\\title T}{\\author A}}{\\stylesheet{\\s0 Normal;}}{\\header H}{\\footer F}body}",
     "body"},
    {"field_result_shown", "{\\rtf1{\\field{\\*\\fldinst HYPERLINK \"x\"}{\\fldrslt link}}}", "link"},
    {"unknown_words_ignored", "{\\rtf1 a\\foo b\\bar12 c\\zzz-3 d}", "abcd"},
    {"text_after_document_ignored", "{\\rtf1 in}out", "in"},
    {"hidden_text_left_out", "{\\rtf1 shown {\\v secret}after \\v hidden\\v0 again}", "shown after again"},
    {"all_capitals", "{\\rtf1 {\\caps capitales} \\'e9t\\'e9 {\\caps\\'e9t\\'e9}}",
     QString::fromUtf8("CAPITALES été ÉTÉ")},
    {"symbol_font_private_use_bullet",
     "{\\rtf1{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset2 Symbol;}}{\\f1\\uc1\\u-3913?}\\tab item}",
     QString::fromUtf8("•\titem")},
    {"symbol_font_greek_and_arrow", "{\\rtf1{\\fonttbl{\\f1\\fcharset2 Symbol;}}\\f1\\uc1\\u-3999?\\u-3922?}",
     QString::fromUtf8("α→")},
    // A bracket piece has no character of its own: left out, never a blank.
    {"symbol_font_piece_left_out", "{\\rtf1{\\fonttbl{\\f1\\fcharset2 Symbol;}}a{\\f1\\uc1\\u-3843?}b}", "ab"},
    {"footnote_after_the_last_paragraph",
     "{\\rtf1 Texte{\\super\\chftn}{\\footnote\\pard\\plain{\\super\\chftn} Une note\\par suite.} fin.\\par "
     "Deux{\\super\\chftn}{\\footnote{\\super\\chftn} Autre.}}",
     "Texte1 fin.\nDeux2\n1 Une note suite.\n2 Autre."},
    {"leading_white_space", "\r\n {\\rtf1 x}", "x"},
};
INSTANTIATE_TEST_SUITE_P(Cases, RtfTextTest, testing::ValuesIn(kTextCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Character formatting

struct CharCase {
  const char* name;
  QByteArray rtf;
  const char* needle;  // the text whose format is checked
  bool bold;
  bool italic;
  bool underline;
  double pointSize;  // 0: none set
  QColor color;      // invalid: none set
};

class RtfCharFormatTest : public testing::TestWithParam<CharCase> {};

TEST_P(RtfCharFormatTest, FormatsTheText) {
  const CharCase& c = GetParam();
  QTextDocument document;
  ASSERT_EQ(0, StreamIn(&document, c.rtf));
  const QTextCharFormat format = FormatAt(&document, c.needle);
  ASSERT_TRUE(document.find(c.needle).hasSelection()) << document.toPlainText().toStdString();
  EXPECT_EQ(c.bold, format.fontWeight() == QFont::Bold);
  EXPECT_EQ(c.italic, format.fontItalic());
  EXPECT_EQ(c.underline, format.fontUnderline());
  if (c.pointSize > 0) {
    EXPECT_DOUBLE_EQ(c.pointSize, format.fontPointSize());
  } else {
    EXPECT_FALSE(format.hasProperty(QTextFormat::FontPointSize));
  }
  if (c.color.isValid()) {
    EXPECT_EQ(c.color, format.foreground().color());
  } else {
    EXPECT_FALSE(format.hasProperty(QTextFormat::ForegroundBrush));
  }
}

const QByteArray kColors = "{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green0\\blue128;}";
const CharCase kCharCases[] = {
    {"plain_text", "{\\rtf1 text}", "text", false, false, false, 0, QColor()},
    {"bold", "{\\rtf1 \\b text}", "text", true, false, false, 0, QColor()},
    {"bold_off", "{\\rtf1 \\b x\\b0 text}", "text", false, false, false, 0, QColor()},
    {"italic", "{\\rtf1 \\i text}", "text", false, true, false, 0, QColor()},
    {"underline", "{\\rtf1 \\ul text}", "text", false, false, true, 0, QColor()},
    {"underline_double_is_underline", "{\\rtf1 \\uldb text}", "text", false, false, true, 0, QColor()},
    {"ulnone", "{\\rtf1 \\ul x\\ulnone text}", "text", false, false, false, 0, QColor()},
    {"size_in_half_points", "{\\rtf1 \\fs20 text}", "text", false, false, false, 10, QColor()},
    {"odd_half_points", "{\\rtf1 \\fs17 text}", "text", false, false, false, 8.5, QColor()},
    {"colour", "{\\rtf1" + kColors + "\\cf1 text}", "text", false, false, false, 0, QColor(255, 0, 0)},
    {"second_colour", "{\\rtf1" + kColors + "\\cf2 text}", "text", false, false, false, 0, QColor(0, 0, 128)},
    {"cf0_is_automatic", "{\\rtf1" + kColors + "\\cf1 x\\cf0 text}", "text", false, false, false, 0, QColor()},
    {"colour_out_of_table", "{\\rtf1" + kColors + "\\cf99 text}", "text", false, false, false, 0, QColor()},
    {"group_restores_formatting", "{\\rtf1 \\fs20 {\\b\\i\\ul\\fs40\\cf1 in}text}", "text", false, false,
     false, 10, QColor()},
    {"group_inherits_formatting", "{\\rtf1" + kColors + "\\b\\cf2 {\\i text}}", "text", true, true, false,
     0, QColor(0, 0, 128)},
    {"deep_groups_restore", "{\\rtf1 \\b{{{\\i{{\\ul x}}}}}text}", "text", true, false, false, 0, QColor()},
    // \plain is the rich-edit control's reset: 12 points, not the control's font.
    {"plain_resets", "{\\rtf1" + kColors + "\\b\\i\\ul\\fs40\\cf1 x\\plain text}", "text", false, false,
     false, 12, QColor()},
    {"size_out_of_range_clamped", "{\\rtf1 \\fs99999999999 text}", "text", false, false, false, 1638,
     QColor()},
    {"negative_size_is_default", "{\\rtf1 \\fs-20 text}", "text", false, false, false, 0, QColor()},
};
INSTANTIATE_TEST_SUITE_P(Cases, RtfCharFormatTest, testing::ValuesIn(kCharCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RtfFontTest, PlainIsTwelvePointsInTheDefaultFont) {
  QTextDocument document;
  StreamIn(&document, "{\\rtf1\\deff1{\\fonttbl{\\f0 Arial;}{\\f1 Courier New;}}\\f0\\fs40 big\\plain text}");
  const QTextCharFormat format = FormatAt(&document, "text");
  EXPECT_EQ(QStringList{"Courier New"}, format.fontFamilies().toStringList());
  EXPECT_DOUBLE_EQ(12, format.fontPointSize());
}

TEST(RtfFontTest, FontTableNamesTheFamily) {
  QTextDocument document;
  StreamIn(&document, "{\\rtf1\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}"
                      "{\\f1\\fmodern{\\*\\panose 02070309020205020404}Courier New;}}"
                      "first \\f1 second}");
  EXPECT_EQ(QStringList{"Arial"}, FormatAt(&document, "first").fontFamilies().toStringList());
  EXPECT_EQ(QStringList{"Courier New"}, FormatAt(&document, "second").fontFamilies().toStringList());
}

// ---------------------------------------------------------------------------
// Paragraph formatting

struct ParaCase {
  const char* name;
  QByteArray rtf;
  std::vector<Qt::Alignment> alignments;  // one per paragraph
};

class RtfParagraphTest : public testing::TestWithParam<ParaCase> {};

TEST_P(RtfParagraphTest, AlignsEachParagraph) {
  QTextDocument document;
  StreamIn(&document, GetParam().rtf);
  std::vector<Qt::Alignment> alignments;
  for (QTextBlock b = document.begin(); b.isValid(); b = b.next()) {
    alignments.push_back(b.blockFormat().alignment() & Qt::AlignHorizontal_Mask);
  }
  EXPECT_EQ(GetParam().alignments, alignments);
}

const ParaCase kParaCases[] = {
    {"default_left", "{\\rtf1 a}", {Qt::AlignLeft}},
    {"each_alignment",
     "{\\rtf1\\ql a\\par\\qc b\\par\\qr c\\par\\qj d}",
     {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight, Qt::AlignJustify}},
    {"alignment_carries_on", "{\\rtf1\\qc a\\par b}", {Qt::AlignHCenter, Qt::AlignHCenter}},
    {"pard_resets", "{\\rtf1\\qr a\\par\\pard b}", {Qt::AlignRight, Qt::AlignLeft}},
    {"last_paragraph_keeps_group_alignment", "{\\rtf1 {\\qc title}}", {Qt::AlignHCenter}},
};
INSTANTIATE_TEST_SUITE_P(Cases, RtfParagraphTest, testing::ValuesIn(kParaCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RtfParagraphTest, IndentsInTwips) {
  QTextDocument document;
  StreamIn(&document, "{\\rtf1\\li720\\ri360\\fi-360 a}");
  const QTextBlockFormat format = document.begin().blockFormat();
  EXPECT_DOUBLE_EQ(48, format.leftMargin());  // 720 twips = half an inch = 48 pixels
  EXPECT_DOUBLE_EQ(24, format.rightMargin());
  EXPECT_DOUBLE_EQ(-24, format.textIndent());
}

TEST(RtfParagraphTest, LineSpacing) {
  struct Case {
    const char* words;
    QTextBlockFormat::LineHeightTypes type;
    double height;
  };
  const Case cases[] = {
      {"", QTextBlockFormat::SingleHeight, 0},
      {"\\sl360\\slmult1", QTextBlockFormat::ProportionalHeight, 150},  // 240ths of a line
      {"\\sl480\\slmult0", QTextBlockFormat::MinimumHeight, 32},        // at least, in twips
      {"\\sl-300\\slmult0", QTextBlockFormat::FixedHeight, 20},         // exactly
      {"\\sl360\\slmult1\\pard", QTextBlockFormat::SingleHeight, 0},
  };
  for (const Case& c : cases) {
    QTextDocument document;
    StreamIn(&document, QByteArray("{\\rtf1") + c.words + " a}");
    const QTextBlockFormat format = document.begin().blockFormat();
    EXPECT_EQ(c.type, format.lineHeightType()) << c.words;
    if (c.type != QTextBlockFormat::SingleHeight) {
      EXPECT_DOUBLE_EQ(c.height, format.lineHeight()) << c.words;
    }
  }
}

// Qt measures tab stops from the start of the line, RTF from the text's
// left edge: the stops are moved by the first line's indent.
TEST(RtfParagraphTest, TabStopsFromTheFirstLineStart) {
  using Tab = QTextOption::Tab;
  struct Case {
    const char* words;
    QList<Tab> tabs;
  };
  const Case cases[] = {
      {"\\tx1440", {Tab(96, QTextOption::LeftTab)}},
      {"\\tqr\\tx2880\\tqc\\tx4320\\tqdec\\tx5760",
       {Tab(192, QTextOption::RightTab), Tab(288, QTextOption::CenterTab),
        Tab(384, QTextOption::DelimiterTab, QChar(','))}},
      {"\\tx2880\\tx1440", {Tab(96, QTextOption::LeftTab), Tab(192, QTextOption::LeftTab)}},
      // The hanging indent is a stop: a list text's tab ends there.
      {"\\li720\\fi-360\\tx1440", {Tab(24, QTextOption::LeftTab), Tab(72, QTextOption::LeftTab)}},
      {"\\li720\\fi360\\tx1440", {Tab(24, QTextOption::LeftTab)}},
      {"\\li1440\\tx720", {}},  // behind the line's start
      {"\\tb720\\tx1440", {Tab(96, QTextOption::LeftTab)}},  // a bar tab is a line, not a stop
      {"\\tqr\\tx1440\\pard", {}},
  };
  for (const Case& c : cases) {
    QTextDocument document;
    StreamIn(&document, QByteArray("{\\rtf1") + c.words + " a\\tab b}");
    EXPECT_EQ(c.tabs, document.begin().blockFormat().tabPositions()) << c.words;
  }
}

TEST(RtfParagraphTest, DefaultTabStops) {
  QTextDocument document;
  StreamIn(&document, "{\\rtf1 a}");
  EXPECT_DOUBLE_EQ(48, document.defaultTextOption().tabStopDistance());  // half an inch
  StreamIn(&document, "{\\rtf1\\deftab709 a}");
  EXPECT_NEAR(47.27, document.defaultTextOption().tabStopDistance(), 0.01);
}

// ---------------------------------------------------------------------------
// Bad input: never a crash or a hang, and what can be read is shown.

struct BadCase {
  const char* name;
  QByteArray bytes;
  QString text;
};

QByteArray Nested(int depth, const QByteArray& inner) {
  return "{\\rtf1 " + QByteArray(depth, '{') + inner + QByteArray(depth, '}') + "}";
}

class RtfBadInputTest : public testing::TestWithParam<BadCase> {};

TEST_P(RtfBadInputTest, ShowsWhatCanBeRead) {
  QTextDocument document;
  document.setPlainText("previous content");
  QElapsedTimer timer;
  timer.start();
  EXPECT_EQ(0, StreamIn(&document, GetParam().bytes));
  EXPECT_EQ(GetParam().text, document.toPlainText());
}

const BadCase kBadCases[] = {
    {"empty_stream", "", ""},
    {"plain_text_1252", "Liste des modifications\r\nVersion 2 : corrig\xe9\r\n",
     QString::fromUtf8("Liste des modifications\nVersion 2 : corrigé\n")},
    {"plain_text_utf8", "caf\xc3\xa9\rsuite", QString::fromUtf8("café\nsuite")},
    {"plain_text_utf8_bom", "\xef\xbb\xbf" "abc", "abc"},
    {"plain_text_with_braces", "{not rtf} \\b x", "{not rtf} \\b x"},
    {"truncated_in_text", "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\b Hello wor", "Hello wor"},
    {"truncated_in_control_word", "{\\rtf1 Hello\\par wor\\pa", "Hello\nwor"},
    {"truncated_after_backslash", "{\\rtf1 Hello\\", "Hello"},
    {"truncated_in_hex", "{\\rtf1 a\\'e", "a"},
    {"truncated_in_font_table", "{\\rtf1{\\fonttbl{\\f0 Ari", ""},
    {"truncated_in_pict", "{\\rtf1 a{\\pict 0102", "a"},
    {"bin_longer_than_input", "{\\rtf1 a{\\pict\\bin99999999 xyz", "a"},
    {"bad_hex_digits_are_text", "{\\rtf1 a\\'zzb}", "azzb"},
    {"stray_closing_braces", "{\\rtf1 a}}}} b", "a"},
    {"number_out_of_range", "{\\rtf1 \\li99999999999999999999\\fs-99999999999999999999"
                            "\\cf4294967296\\uc99999999999 \\u99999999999 ab}", ""},
    {"unicode_out_of_range", "{\\rtf1\\uc0 a\\u70000 b\\u-70000 c}", "abc"},
    {"long_control_word", "{\\rtf1 a\\" + QByteArray(100000, 'x') + " b}", "ab"},
    {"long_number", "{\\rtf1 a\\fs" + QByteArray(100000, '9') + " b}", "ab"},
    {"nul_and_control_bytes", QByteArray("{\\rtf1 a\0\x01\x7f b}", 14), QString("a\x7f b")},
    {"unknown_charset_and_code_page", "{\\rtf1\\ansicpg99999{\\fonttbl{\\f0\\fcharset250 X;}}\\f0\\'e9}",
     QString::fromUtf8("é")},
    {"100000_nested_groups", Nested(100000, "deep"), "deep"},
    {"100000_open_groups_truncated", "{\\rtf1 " + QByteArray(100000, '{') + "deep", "deep"},
    {"100000_nested_destinations", Nested(100000, "\\*\\x y") + "", ""},
    {"footnote_inside_a_footnote", "{\\rtf1 a{\\chftn}{\\footnote x{\\footnote y}z} b}", "a1 b\n1 xyz"},
    {"footnote_never_closed", "{\\rtf1 a{\\chftn}{\\footnote x", "a1\n1 x"},
};
INSTANTIATE_TEST_SUITE_P(Cases, RtfBadInputTest, testing::ValuesIn(kBadCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Each of shown in text, in that order, and none of notShown.
void ExpectShown(const QString& text, const QStringList& shown, const QStringList& notShown) {
  qsizetype at = 0;
  for (const QString& words : shown) {
    const qsizetype found = text.indexOf(words, at);
    EXPECT_GE(found, at) << words.toStdString() << " in order in:\n" << text.toStdString();
    if (found >= 0) at = found + words.size();
  }
  for (const QString& hidden : notShown) EXPECT_FALSE(text.contains(hidden)) << text.toStdString();
}

// Tables inside a table are not laid out: their cells are shown in order,
// apart, each row a paragraph. The flat text a document may add for readers
// that know no inner tables (\\nonesttables) is not shown: it would show the
// row twice, or, as it often holds only a paragraph mark, nothing instead of
// it. A wrong \\itap loses nothing.
TEST(RtfNestedTableTest, ShowsTheCellsOnceEachRowApart) {
  const QByteArray inner =
      "\\pard\\intbl\\itap2 Deep A\\nestcell Deep B\\nestcell"
      "{\\*\\nesttableprops\\trowd\\cellx1000\\cellx2000\\nestrow}";
  struct Case {
    const char* name;
    QByteArray rtf;
    QStringList shown;
    QStringList notShown;
  };
  const QByteArray outerStart = "{\\rtf1 \\trowd\\cellx6000\\pard\\intbl Outer\\par ";
  const QByteArray outerEnd = "\\pard\\intbl\\cell\\row\\pard After}";
  const std::vector<Case> cases = {
      {"flat text offered", outerStart + inner + "{\\nonesttables\\par NESTED FALLBACK ONE}" + outerEnd,
       {"Outer", "Deep A Deep B", "After"}, {"NESTED FALLBACK ONE"}},
      {"flat text of a paragraph mark", outerStart + inner + "{\\nonesttables\\par }" + outerEnd,
       {"Outer", "Deep A Deep B", "After"}, {}},
      {"no flat text", outerStart + inner + outerEnd, {"Outer", "Deep A Deep B", "After"}, {"Deep ADeep B"}},
      {"a level skipped", outerStart + "\\pard\\intbl\\itap3 Lost?\\nestcell Kept\\nestcell" + outerEnd,
       {"Outer", "Lost? Kept", "After"}, {}},
      {"each row apart", outerStart + inner + inner + outerEnd,
       {"Outer", "Deep A Deep B", "\nDeep A Deep B", "After"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QTextDocument document;
    ASSERT_EQ(0, StreamIn(&document, c.rtf));
    ExpectShown(document.toPlainText(), c.shown, c.notShown);
  }
}

// Hundreds of table levels, one after another or each inside the one before
// (its rows ended as other writers end them, with their flat text), a note
// in a cell: read in bounded time, each level's text once and in order.
TEST(RtfNestedTableTest, DeepLevelsAndNotesInCellsKeepTheText) {
  constexpr int kLevels = 600;
  auto label = [](int level) { return "L" + QByteArray::number(level) + "."; };
  auto paragraph = [](int level) { return "\\pard\\intbl\\itap" + QByteArray::number(level) + " "; };
  QByteArray oneAfterAnother;
  QByteArray eachInside;
  for (int level = 2; level <= kLevels; ++level) {
    oneAfterAnother += paragraph(level) + label(level) + "\\nestcell";
    eachInside += paragraph(level) + label(level) + "\\par ";
  }
  for (int level = kLevels; level >= 2; --level) {
    eachInside += paragraph(level) + "\\nestcell{\\*\\nesttableprops\\trowd\\itap" + QByteArray::number(level) +
                  "\\cellx1000\\nestrow}{\\nonesttables\\par }";
  }
  for (const QByteArray& levels : {oneAfterAnother, eachInside}) {
    const QByteArray rtf = "{\\rtf1 \\trowd\\cellx6000\\pard\\intbl start " + levels +
                           "\\pard\\intbl{\\chftn}{\\footnote in a cell}\\cell\\row end}";
    QTextDocument document;
    QElapsedTimer timer;
    timer.start();
    ASSERT_EQ(0, StreamIn(&document, rtf));
    EXPECT_LT(timer.elapsed(), 5000);
    const QString text = document.toPlainText();
    qsizetype at = text.indexOf(QStringLiteral("start"));
    for (int level = 2; level <= kLevels; ++level) {
      const QString shown = QString::fromLatin1(label(level));
      ASSERT_EQ(text.count(shown), 1) << shown.toStdString();
      ASSERT_GT(text.indexOf(shown), at) << shown.toStdString();
      at = text.indexOf(shown);
    }
    EXPECT_TRUE(text.endsWith(QStringLiteral("1 in a cell"))) << text.toStdString();
  }
}

// Documents shaped as other word processors write them (a theme, a
// revision table, a list table with its overrides, \\pnseclvl lines, notes,
// an inner table with its flat text, left out), from the fuzz seeds: their
// words in order, and nothing of what is not shown.
TEST(RtfOtherWritersTest, ShowTheirWordsInOrderAndNothingHidden) {
  struct Case {
    const char* file;
    QStringList shown;
    QStringList notShown;
  };
  const std::vector<Case> cases = {
      {"word_processor_notes.rtf",
       {"NOTES DE VERSION1", QString::fromUtf8("•\tNouvelle liste des adresses et étiquettes"),
        QString::fromUtf8("1 Version 2.4 du gestionnaire d’adresses.")},
       {"remarque interne", "504b03", "Normal;", "Marie"}},
      {"word_processor_nested_table.rtf",
       {"Module", "Changements", QString::fromUtf8("Avant Après"), "\n2.3 2.41",
        QString::fromUtf8("•\tListe des adresses MISE À JOUR"), "Fin.", "1 Voir la notice."},
       {"AvantApr", " / ", "Paul", QString::fromUtf8("caché")}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    QFile file(QStringLiteral(KELVARO_RTF_SEEDS_DIR "/") + QLatin1String(c.file));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QTextDocument document;
    ASSERT_EQ(0, StreamIn(&document, file.readAll()));
    ExpectShown(document.toPlainText(), c.shown, c.notShown);
  }
}

TEST(RtfDeepNestingTest, FormattingOfDeepGroupsDoesNotLeakOut) {
  // Far deeper than the groups the reader keeps: formatting switched on in
  // there still ends with the groups around it.
  QTextDocument document;
  StreamIn(&document, "{\\rtf1 " + QByteArray(5000, '{') + "\\b deep" + QByteArray(5000, '}') +
                          " after}");
  EXPECT_EQ(QString("deep after"), document.toPlainText());
  EXPECT_TRUE(FormatAt(&document, "deep").fontWeight() == QFont::Bold);
  EXPECT_FALSE(FormatAt(&document, "after").fontWeight() == QFont::Bold);
}

// ---------------------------------------------------------------------------
// The stream

TEST(StreamInRichTextTest, ReadsFromTheStreamPositionToItsEnd) {
  QBuffer buffer;
  buffer.setData("garbage{\\rtf1 from here}");
  buffer.open(QIODevice::ReadOnly);
  buffer.seek(7);
  QTextEdit edit;
  edit.setPlainText("old");
  EXPECT_EQ(0, StreamInRichText(&edit, &buffer));
  EXPECT_EQ(QString("from here"), edit.toPlainText());
  EXPECT_TRUE(buffer.atEnd());
}

TEST(StreamInRichTextTest, UnreadableStreamEmptiesTheControlAndFails) {
  QTextEdit edit;
  edit.setPlainText("old");
  QBuffer closed;
  EXPECT_EQ(kStreamInError, StreamInRichText(&edit, &closed));
  EXPECT_TRUE(edit.toPlainText().isEmpty());
  EXPECT_EQ(kStreamInError, StreamInRichText(&edit, nullptr));
  EXPECT_EQ(kStreamInError, StreamInRichText(static_cast<QTextEdit*>(nullptr), &closed));
}

TEST(StreamInRichTextTest, ReplacesEarlierFormattedContent) {
  QTextDocument document;
  StreamIn(&document, "{\\rtf1\\qc\\b\\fs40 first\\par second}");
  StreamIn(&document, "{\\rtf1 new}");
  EXPECT_EQ(QString("new"), document.toPlainText());
  EXPECT_FALSE(FormatAt(&document, "new").fontWeight() == QFont::Bold);
  EXPECT_EQ(Qt::AlignLeft, document.begin().blockFormat().alignment() & Qt::AlignHorizontal_Mask);
}

}  // namespace
}  // namespace kelvaro

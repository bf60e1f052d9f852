// RTF tables (\trowd ... \cell ... \row) read into Qt text tables: their
// shape and cell texts, the widths of \cellx, the borders of \clbrdr and
// \trbrdr, and tables that are not what they should be.
#include <gtest/gtest.h>

#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

#include "rtf_stream_in.h"

namespace {

using rtf_test::StreamIn;

std::vector<QTextTable*> Tables(QTextDocument* document) {
  std::vector<QTextTable*> tables;
  for (QTextFrame* frame : document->rootFrame()->childFrames()) {
    if (auto* table = qobject_cast<QTextTable*>(frame)) tables.push_back(table);
  }
  return tables;
}

// The table's cell texts, row by row: "a|b/c|d".
QString CellTexts(QTextTable* table) {
  QStringList rows;
  for (int r = 0; r < table->rows(); ++r) {
    QStringList cells;
    for (int c = 0; c < table->columns(); ++c) {
      QTextCursor cell = table->cellAt(r, c).firstCursorPosition();
      cell.setPosition(table->cellAt(r, c).lastPosition(), QTextCursor::KeepAnchor);
      cells << cell.selectedText().replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    }
    rows << cells.join(QLatin1Char('|'));
  }
  return rows.join(QLatin1Char('/'));
}

// Whether the text is outside every table.
bool OutsideTables(QTextDocument* document, const QString& text) {
  const QTextCursor found = document->find(text);
  return !found.isNull() && found.currentTable() == nullptr;
}

const QByteArray kRow = "\\trowd\\cellx1440\\cellx4320";

struct ShapeCase {
  const char* name;
  QByteArray body;
  std::vector<QString> tables;  // the cell texts of each table
};

class RtfTableShape : public testing::TestWithParam<ShapeCase> {};

TEST_P(RtfTableShape, CellsHoldTheirTexts) {
  QTextDocument document;
  ASSERT_EQ(0, StreamIn(&document, "{\\rtf1 avant\\par " + GetParam().body + "}"));
  std::vector<QString> tables;
  for (QTextTable* table : Tables(&document)) tables.push_back(CellTexts(table));
  EXPECT_EQ(GetParam().tables, tables) << document.toPlainText().toStdString();
  EXPECT_TRUE(OutsideTables(&document, "avant"));
}

const ShapeCase kShapeCases[] = {
    {"two_rows", kRow + "\\intbl a\\cell b\\cell\\row" + kRow + "\\intbl c\\cell d\\cell\\row\\pard apr\\u232s",
     {"a|b/c|d"}},
    {"paragraphs_in_a_cell", kRow + "\\intbl a\\par a2\\cell b\\cell\\row", {"a\na2|b"}},
    {"empty_cells", kRow + "\\intbl\\cell\\cell\\row", {"|"}},
    {"more_cells_than_edges", kRow + "\\intbl a\\cell b\\cell c\\cell\\row", {"a|b|c"}},
    {"rows_of_different_widths", kRow + "\\intbl a\\cell b\\cell\\row\\trowd\\cellx1000\\cellx2000\\cellx3000"
                                        "\\intbl c\\cell d\\cell e\\cell\\row",
     {"a|b|/c|d|e"}},
    {"row_without_definition", "\\intbl a\\cell b\\cell\\row", {"a|b"}},
    {"two_tables", kRow + "\\intbl a\\cell b\\cell\\row\\pard entre\\par" + kRow + "\\intbl c\\cell d\\cell\\row",
     {"a|b", "c|d"}},
    {"document_ends_in_a_row", kRow + "\\intbl a\\cell b", {"a|b"}},
    {"row_properties_repeated_before_row", kRow + "\\intbl a\\cell b\\cell" + kRow + "\\row", {"a|b"}},
};
INSTANTIATE_TEST_SUITE_P(Cases, RtfTableShape, testing::ValuesIn(kShapeCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RtfTableTest, TextAfterTheTableIsOutsideIt) {
  QTextDocument document;
  StreamIn(&document, "{\\rtf1 " + kRow + "\\intbl a\\cell b\\cell\\row\\pard apr\\'e8s\\par fin}");
  EXPECT_TRUE(OutsideTables(&document, QString::fromUtf8("après")));
  EXPECT_TRUE(OutsideTables(&document, "fin"));
}

TEST(RtfTableTest, ColumnsTakeTheWidthsOfTheirEdges) {
  QTextDocument document;
  StreamIn(&document, "{\\rtf1\\trowd\\trleft720\\cellx2160\\cellx5040\\cellx6480\\intbl a\\cell b\\cell c\\cell\\row}");
  ASSERT_EQ(1u, Tables(&document).size());
  const QTextTableFormat format = Tables(&document).front()->format();
  const QList<QTextLength> widths = format.columnWidthConstraints();
  ASSERT_EQ(3, widths.size());
  EXPECT_EQ(QTextLength(QTextLength::FixedLength, 96), widths[0]);  // 2160 - 720 twips
  EXPECT_EQ(QTextLength(QTextLength::FixedLength, 192), widths[1]);
  EXPECT_EQ(QTextLength(QTextLength::FixedLength, 96), widths[2]);
  EXPECT_DOUBLE_EQ(48, format.leftMargin());
  EXPECT_TRUE(format.borderCollapse());
}

struct BorderCase {
  const char* name;
  QByteArray definition;  // of a row of two cells
  // top, left, bottom, right of the first cell, then of the second
  std::array<QTextFrameFormat::BorderStyle, 8> styles;
  double firstTopWidth;
  QColor firstTopColor;
};

class RtfTableBorders : public testing::TestWithParam<BorderCase> {};

TEST_P(RtfTableBorders, CellsDrawTheirBorders) {
  QTextDocument document;
  StreamIn(&document, "{\\rtf1{\\colortbl;\\red0\\green0\\blue0;\\red255\\green0\\blue0;}\\trowd" +
                          GetParam().definition + "\\intbl a\\cell b\\cell\\row}");
  ASSERT_EQ(1u, Tables(&document).size());
  QTextTable* table = Tables(&document).front();
  std::array<QTextFrameFormat::BorderStyle, 8> styles;
  for (int c = 0; c < 2; ++c) {
    const QTextTableCellFormat f = table->cellAt(0, c).format().toTableCellFormat();
    styles[c * 4 + 0] = f.topBorderStyle();
    styles[c * 4 + 1] = f.leftBorderStyle();
    styles[c * 4 + 2] = f.bottomBorderStyle();
    styles[c * 4 + 3] = f.rightBorderStyle();
  }
  EXPECT_EQ(GetParam().styles, styles);
  const QTextTableCellFormat first = table->cellAt(0, 0).format().toTableCellFormat();
  EXPECT_DOUBLE_EQ(GetParam().firstTopWidth, first.topBorder());
  EXPECT_EQ(GetParam().firstTopColor, first.topBorderBrush().color());
}

constexpr auto N = QTextFrameFormat::BorderStyle_None;
constexpr auto S = QTextFrameFormat::BorderStyle_Solid;
constexpr auto D = QTextFrameFormat::BorderStyle_Double;
const BorderCase kBorderCases[] = {
    {"none", "\\cellx1440\\cellx2880", {N, N, N, N, N, N, N, N}, 0, Qt::black},
    {"every_cell_side",
     "\\clbrdrt\\brdrs\\brdrw30\\brdrcf2\\clbrdrl\\brdrs\\clbrdrb\\brdrs\\clbrdrr\\brdrs\\cellx1440"
     "\\clbrdrt\\brdrs\\clbrdrl\\brdrs\\clbrdrb\\brdrs\\clbrdrr\\brdrs\\cellx2880",
     {S, S, S, S, S, S, S, S}, 2, QColor(255, 0, 0)},
    {"double_and_none", "\\clbrdrt\\brdrdb\\brdrw15\\clbrdrb\\brdrnone\\cellx1440\\cellx2880",
     {D, N, N, N, N, N, N, N}, 1, Qt::black},
    // The row's borders: outside on its edges, inside between its cells.
    {"row_borders", "\\trbrdrt\\brdrs\\brdrw15\\trbrdrl\\brdrs\\trbrdrb\\brdrs\\trbrdrr\\brdrs\\trbrdrv\\brdrdb"
                    "\\cellx1440\\cellx2880",
     {S, S, S, D, S, D, S, S}, 1, Qt::black},
    // A hairline too thin to print is drawn at Word's thinnest line.
    {"thin_border", "\\clbrdrt\\brdrs\\brdrw1\\cellx1440\\cellx2880", {S, N, N, N, N, N, N, N}, 10 / 15.0,
     Qt::black},
};
INSTANTIATE_TEST_SUITE_P(Cases, RtfTableBorders, testing::ValuesIn(kBorderCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RtfTableTest, HostileTablesStayBounded) {
  // Thousands of edges, rows and cells: the table keeps a bounded number of
  // columns and every text is still shown.
  QByteArray edges;
  for (int i = 1; i <= 5000; ++i) edges += "\\cellx" + QByteArray::number(i * 10);
  QByteArray cells;
  for (int i = 0; i < 200; ++i) cells += "x\\cell ";
  QByteArray rows;
  for (int i = 0; i < 300; ++i) rows += "\\trowd\\cellx99999999999\\intbl r\\cell\\row";
  QTextDocument document;
  ASSERT_EQ(0, StreamIn(&document, "{\\rtf1\\trowd" + edges + "\\intbl " + cells + "\\row" + rows +
                                       "\\pard fin\\cell\\row\\cell}"));
  const std::vector<QTextTable*> tables = Tables(&document);
  ASSERT_FALSE(tables.empty());
  EXPECT_LE(tables.front()->columns(), 64);
  EXPECT_EQ(301, tables.front()->rows());
  EXPECT_TRUE(document.toPlainText().contains("fin"));
  document.setTextWidth(600);  // and Qt lays it out
  EXPECT_GT(document.size().height(), 0);
}

}  // namespace

#include "richtext/rtf_table.h"

#include <QTextCursor>
#include <QTextTable>
#include <algorithm>

#include "richtext/rtf_units.h"

namespace kelvaro {
namespace {

constexpr int kMaxColumns = 64;

// Sides are numbered 0 to 3; the mask keeps any other value inside the arrays.
int Index(RtfTable::Side side) { return static_cast<int>(side) & 3; }

int ClampTwips(int twips) { return std::clamp(twips, 0, kMaxTwips); }

}  // namespace

void RtfTable::DefineRow() {
  definition_ = Row();
  pendingCell_ = Cell();
  target_ = BorderTarget::None;
}

void RtfTable::SetRowLeft(int twips) { definition_.leftTwips = std::clamp(twips, -kMaxTwips, kMaxTwips); }

void RtfTable::SetRowAlignment(Qt::Alignment alignment) { definition_.alignment = alignment; }

// Word's gap is the space on each side of a cell's text: its left and right
// padding.
void RtfTable::SetCellGap(int twips) {
  definition_.padding[Index(Side::Left)] = ClampTwips(twips);
  definition_.padding[Index(Side::Right)] = ClampTwips(twips);
}

void RtfTable::SetRowPadding(Side side, int twips) { definition_.padding[Index(side)] = ClampTwips(twips); }

void RtfTable::SetCellPadding(Side side, int twips) { pendingCell_.padding[Index(side)] = ClampTwips(twips); }

void RtfTable::SelectBorder(BorderTarget target) {
  target_ = target;
  // A border word alone draws a single line, until \brdr words say more.
  if (Border* border = SelectedBorder()) *border = Border{QTextFrameFormat::BorderStyle_Solid, 0, QColor()};
}

void RtfTable::SetBorderStyle(QTextFrameFormat::BorderStyle style) {
  if (Border* border = SelectedBorder()) border->style = style;
}

void RtfTable::SetBorderWidth(int twips) {
  if (Border* border = SelectedBorder()) border->widthTwips = ClampTwips(twips);
}

void RtfTable::SetBorderColor(const QColor& color) {
  if (Border* border = SelectedBorder()) border->color = color;
}

RtfTable::Border* RtfTable::SelectedBorder() {
  switch (target_) {
    case BorderTarget::None: return nullptr;
    case BorderTarget::CellTop: return &pendingCell_.borders[Index(Side::Top)];
    case BorderTarget::CellLeft: return &pendingCell_.borders[Index(Side::Left)];
    case BorderTarget::CellBottom: return &pendingCell_.borders[Index(Side::Bottom)];
    case BorderTarget::CellRight: return &pendingCell_.borders[Index(Side::Right)];
    case BorderTarget::RowTop: return &definition_.borders[0];
    case BorderTarget::RowLeft: return &definition_.borders[1];
    case BorderTarget::RowBottom: return &definition_.borders[2];
    case BorderTarget::RowRight: return &definition_.borders[3];
    case BorderTarget::RowInsideH: return &definition_.borders[4];
    case BorderTarget::RowInsideV: return &definition_.borders[5];
  }
  return nullptr;
}

void RtfTable::EndCellDefinition(int rightTwips) {
  pendingCell_.rightTwips = std::clamp(rightTwips, -kMaxTwips, kMaxTwips);
  if (definition_.cells.size() < kMaxColumns) definition_.cells.push_back(pendingCell_);
  pendingCell_ = Cell();
  target_ = BorderTarget::None;
}

void RtfTable::EnterCell(QTextCursor& cursor) {
  if (!table_) {
    StartTable(cursor);
  } else if (!rowOpen_) {
    StartRow();
  }
  if (inCell_) return;
  if (column_ >= table_->columns()) {
    if (column_ >= kMaxColumns) {
      // Text beyond the last column a table may have joins the last cell.
      column_ = kMaxColumns - 1;
    } else {
      table_->appendColumns(column_ + 1 - table_->columns());
    }
  }
  cursor = table_->cellAt(row_, column_).lastCursorPosition();
  inCell_ = true;
}

void RtfTable::EndCell(QTextCursor& cursor) {
  EnterCell(cursor);  // an empty cell is a cell too
  ++column_;
  inCell_ = false;
}

void RtfTable::EndRow() {
  rowOpen_ = false;
  inCell_ = false;
}

void RtfTable::Leave(QTextCursor& cursor) {
  if (!table_) return;
  cursor = table_->lastCursorPosition();
  cursor.movePosition(QTextCursor::NextBlock);
  table_ = nullptr;
  row_ = -1;
  rowOpen_ = false;
  inCell_ = false;
}

void RtfTable::StartTable(QTextCursor& cursor) {
  QTextTableFormat format;
  format.setBorderCollapse(true);  // the cells' own borders are drawn
  format.setBorder(0);
  format.setBorderStyle(QTextFrameFormat::BorderStyle_None);
  format.setCellSpacing(0);
  format.setCellPadding(0);
  format.setMargin(0);
  format.setLeftMargin(TwipsToPixels(std::max(definition_.leftTwips, 0)));
  format.setAlignment(definition_.alignment);
  const int columns = std::max<int>(1, static_cast<int>(definition_.cells.size()));
  table_ = cursor.insertTable(1, columns, format);
  row_ = 0;
  column_ = 0;
  rowOpen_ = true;
  inCell_ = false;
  FormatRow();
}

void RtfTable::StartRow() {
  table_->appendRows(1);
  ++row_;
  column_ = 0;
  rowOpen_ = true;
  inCell_ = false;
  FormatRow();
}

// Gives the row's cells their borders and padding, and the table the
// widths of a definition with at least as many cells as it has columns.
void RtfTable::FormatRow() {
  const std::vector<Cell>& cells = definition_.cells;
  if (cells.empty()) return;
  if (static_cast<int>(cells.size()) > table_->columns()) {
    table_->appendColumns(static_cast<int>(cells.size()) - table_->columns());
  }
  for (size_t i = 0; i < cells.size(); ++i) {
    table_->cellAt(row_, static_cast<int>(i)).setFormat(CellFormat(i));
  }
  if (static_cast<int>(cells.size()) < table_->columns()) return;
  QList<QTextLength> widths;
  int left = definition_.leftTwips;
  for (const Cell& cell : cells) {
    widths.append(QTextLength(QTextLength::FixedLength, TwipsToPixels(std::max(cell.rightTwips - left, 0))));
    left = std::max(left, cell.rightTwips);
  }
  QTextTableFormat format = table_->format();
  format.setColumnWidthConstraints(widths);
  table_->setFormat(format);
}

QTextTableCellFormat RtfTable::CellFormat(size_t index) const {
  const Cell& cell = definition_.cells[index];
  QTextTableCellFormat format;
  auto padding = [&](Side side) {
    const int own = cell.padding[Index(side)];
    return TwipsToPixels(own >= 0 ? own : definition_.padding[Index(side)]);
  };
  format.setTopPadding(padding(Side::Top));
  format.setLeftPadding(padding(Side::Left));
  format.setBottomPadding(padding(Side::Bottom));
  format.setRightPadding(padding(Side::Right));
  const Border top = CellBorder(index, Side::Top);
  const Border left = CellBorder(index, Side::Left);
  const Border bottom = CellBorder(index, Side::Bottom);
  const Border right = CellBorder(index, Side::Right);
  // A border RTF leaves without width is a thin line: one twip is too thin
  // to print, so it gets the hairline Word draws.
  auto width = [](const Border& b) {
    if (b.style == QTextFrameFormat::BorderStyle_None) return 0.0;
    return TwipsToPixels(std::max(b.widthTwips, 10));
  };
  auto brush = [](const Border& b) { return QBrush(b.color.isValid() ? b.color : QColor(Qt::black)); };
  format.setTopBorder(width(top));
  format.setTopBorderStyle(top.style);
  format.setTopBorderBrush(brush(top));
  format.setLeftBorder(width(left));
  format.setLeftBorderStyle(left.style);
  format.setLeftBorderBrush(brush(left));
  format.setBottomBorder(width(bottom));
  format.setBottomBorderStyle(bottom.style);
  format.setBottomBorderBrush(brush(bottom));
  format.setRightBorder(width(right));
  format.setRightBorderStyle(right.style);
  format.setRightBorderBrush(brush(right));
  return format;
}

// A cell's own border where it has one, else the row's: its outer border on
// the row's edges, its inside border between cells.
RtfTable::Border RtfTable::CellBorder(size_t index, Side side) const {
  const Border& own = definition_.cells[index].borders[Index(side)];
  if (own.style != QTextFrameFormat::BorderStyle_None) return own;
  const bool first = index == 0;
  const bool last = index + 1 == definition_.cells.size();
  switch (side) {
    case Side::Top: return definition_.borders[0];
    case Side::Bottom: return definition_.borders[2];
    case Side::Left: return first ? definition_.borders[1] : definition_.borders[5];
    case Side::Right: return last ? definition_.borders[3] : definition_.borders[5];
  }
  return own;
}

}  // namespace kelvaro

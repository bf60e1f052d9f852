// Tables of an RTF document (\trowd ... \cell ... \row) built as a Qt text
// table while the document is read, row by row.
//
// A row's definition (\cellx edges, \clbrdr and \trbrdr borders, padding)
// comes before its cells; each row of the Qt table takes the cell widths
// and borders of its own definition. Cells beyond the definition add
// columns; a row without definition still gets its cells. Nothing here can
// fail: every number is clamped and an unfinished table is simply closed
// where the document stops.
#pragma once

#include <QColor>
#include <QTextTableCellFormat>
#include <vector>

class QTextCursor;
class QTextTable;

namespace kelvaro {

class RtfTable {
 public:
  enum class Side { Top, Left, Bottom, Right };
  // Which border the next \brdr words describe.
  enum class BorderTarget { None, CellTop, CellLeft, CellBottom, CellRight,
                            RowTop, RowLeft, RowBottom, RowRight, RowInsideH, RowInsideV };

  // --- Row definition --------------------------------------------------------
  void DefineRow();                               // \trowd
  void SetRowLeft(int twips);                     // \trleft
  void SetRowAlignment(Qt::Alignment alignment);  // \trql, \trqc, \trqr
  void SetCellGap(int twips);                     // \trgaph
  void SetRowPadding(Side side, int twips);       // \trpadd*
  void SetCellPadding(Side side, int twips);      // \clpad*
  void SelectBorder(BorderTarget target);         // \clbrdr*, \trbrdr*
  void SetBorderStyle(QTextFrameFormat::BorderStyle style);  // \brdrs, \brdrdb, ...; \brdrnone
  void SetBorderWidth(int twips);                 // \brdrw
  void SetBorderColor(const QColor& color);       // \brdrcf
  void EndCellDefinition(int rightTwips);         // \cellx

  // --- Content ---------------------------------------------------------------
  // Moves cursor into the cell the next text belongs to, starting the table
  // or the next row when needed.
  void EnterCell(QTextCursor& cursor);
  void EndCell(QTextCursor& cursor);  // \cell
  void EndRow();                      // \row
  // Puts cursor after the table, which is then finished.
  void Leave(QTextCursor& cursor);
  bool active() const { return table_ != nullptr; }

 private:
  struct Border {
    QTextFrameFormat::BorderStyle style = QTextFrameFormat::BorderStyle_None;
    int widthTwips = 0;
    QColor color;
  };
  struct Cell {
    int rightTwips = 0;
    Border borders[4];
    int padding[4] = {-1, -1, -1, -1};  // -1: the row's padding
  };
  struct Row {
    int leftTwips = 0;
    Qt::Alignment alignment = Qt::AlignLeft;
    int padding[4] = {0, 0, 0, 0};
    Border borders[6];  // top, left, bottom, right, inside horizontal, inside vertical
    std::vector<Cell> cells;
  };

  Border* SelectedBorder();
  void StartTable(QTextCursor& cursor);
  void StartRow();
  void FormatRow();
  QTextTableCellFormat CellFormat(size_t index) const;
  Border CellBorder(size_t index, Side side) const;

  Row definition_;
  Cell pendingCell_;
  BorderTarget target_ = BorderTarget::None;

  QTextTable* table_ = nullptr;
  int row_ = -1;
  int column_ = 0;
  bool rowOpen_ = false;
  bool inCell_ = false;
};

}  // namespace kelvaro

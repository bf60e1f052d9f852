#include "wizard/report_text_edit.h"

#include <QTextCursor>

namespace kelvaro {

ReportTextEdit::ReportTextEdit(QWidget* parent) : QTextEdit(parent) {}

void ReportTextEdit::AppendLine(const QString& text, int fontSize, const QString& fontName) {
  QTextCursor cursor(document());
  cursor.movePosition(QTextCursor::End);
  // The format at the end of the document is the one the previous line left
  // (its line break carries it into the empty last paragraph).
  QTextCharFormat format = cursor.charFormat();
  if (fontSize != 0) format.setFontPointSize(fontSize);
  if (!fontName.isEmpty()) format.setFontFamilies({fontName});
  cursor.insertText(text + QStringLiteral("\r\n"), format);
  setTextCursor(cursor);
  if (focusPolicy() != Qt::NoFocus && isVisible() && isEnabled() && !hasFocus()) setFocus();
  ensureCursorVisible();
}

}  // namespace kelvaro

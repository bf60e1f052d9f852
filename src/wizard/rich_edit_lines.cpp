#include "wizard/rich_edit_lines.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>

namespace kelvaro {

int RichEditLineCount(const QTextEdit* edit) {
  const QTextDocument* document = edit->document();
  if (document->isEmpty()) return 0;
  int count = document->blockCount();
  if (document->lastBlock().text().isEmpty()) --count;
  return count;
}

}  // namespace kelvaro

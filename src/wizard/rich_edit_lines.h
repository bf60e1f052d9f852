// How many lines a rich-text control holds, as the wizard counts them.
#pragma once

class QTextEdit;

namespace kelvaro {

// The number of paragraphs, without the empty one that follows a final line
// break: 0 for an empty control.
int RichEditLineCount(const QTextEdit* edit);

}  // namespace kelvaro

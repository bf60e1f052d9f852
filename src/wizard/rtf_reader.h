// Our reader of RTF documents (the list of changes is one), into a
// QTextDocument: text, paragraphs, bold, italic, underline, fonts and sizes,
// colours, alignment and indents. Pictures, headers, document information and
// other destinations are skipped.
//
// Promise on bad input: it never crashes, hangs or recurses with the input.
// Text that is readable is shown, whatever follows it: a truncated document
// shows everything up to the cut, unknown control words are ignored, numbers
// out of range are clamped, and groups nested deeper than a fixed cap keep the
// formatting of the deepest group kept.
#pragma once

#include <QByteArray>

class QTextDocument;

namespace kelvaro {

// Whether bytes hold an RTF document: "{\rtf" after optional white space.
bool LooksLikeRtf(const QByteArray& bytes);

// Replaces the document's content with the RTF document in rtf.
void ReadRtf(const QByteArray& rtf, QTextDocument* document);

}  // namespace kelvaro

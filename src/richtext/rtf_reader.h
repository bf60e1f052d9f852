// Our reader of RTF documents (the list of changes is one), into a
// QTextDocument, in one pass over the text: characters formatted as the
// rich-edit control formats them (\plain is 12 points in the document's
// default font), paragraphs with their indents, spacing, line spacing and
// tab stops, list texts on their hanging indent, tables as Qt text tables
// (rtf_table.h) and pictures (rtf_picture.h). Hidden text is left out;
// tables inside a table show their cells in order, each row a paragraph;
// footnotes keep their number at their mark and their text after the last
// paragraph. Headers, footers, document information and other destinations
// are skipped.
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

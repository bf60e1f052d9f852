// Loading a rich-text control from a stream: the list of changes the wizard
// shows before the update starts.
//
// Promise: the control's previous content is always replaced, and nothing the
// stream holds can crash the program. An RTF document shows what its reader
// could make of it (see rtf_reader.h); bytes that are not RTF at all are
// shown as plain text, so the person still reads what was carried.
#pragma once

class QIODevice;
class QTextDocument;
class QTextEdit;

namespace kelvaro {

// Error code of a transfer the stream could not feed (E_FAIL).
inline constexpr int kStreamInError = static_cast<int>(0x80004005u);

// Replaces the document's content with the rich text read from stream, from
// its current position to its end. Returns 0 on success, kStreamInError when
// there is no readable stream (the document is then left empty).
//
// Bytes that do not start with "{\rtf" are plain text: UTF-8 or UTF-16 when a
// byte-order mark says so, UTF-8 when they are valid UTF-8, Windows-1252
// otherwise; CR LF, CR and LF end lines.
int StreamInRichText(QTextDocument* document, QIODevice* stream);
int StreamInRichText(QTextEdit* edit, QIODevice* stream);

}  // namespace kelvaro

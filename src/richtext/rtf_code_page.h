// Code pages of the text inside an RTF document: which one a font's
// \fcharset selects, and turning bytes written in one of them into text.
#pragma once

#include <QByteArray>
#include <QString>

namespace kelvaro {

inline constexpr int kWindows1252 = 1252;
// The Symbol font's own encoding: Greek letters and signs on Latin positions.
inline constexpr int kSymbolCodePage = 42;

// The code page of a font's \fcharset value; documentCodePage for the
// "default" charset (1) and for charsets this reader does not know.
int CodePageOfCharset(int charset, int documentCodePage);

// Whether DecodeCodePage knows codePage; others are read as Windows-1252.
bool IsKnownCodePage(int codePage);

// Text of bytes in codePage. Never fails: an unknown code page reads as
// Windows-1252, and bytes a code page leaves undefined become U+FFFD or the
// control character of the same value, as the decoder chooses.
QString DecodeCodePage(const QByteArray& bytes, int codePage);

}  // namespace kelvaro

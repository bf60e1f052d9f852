// Conversions between the platform layer's UTF-16 strings and QString.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "platform/win_types.h"

namespace kelvaro {

inline QString toQ(const platform::String& s) { return QString::fromStdU16String(s); }
inline platform::String toW(const QString& s) { return s.toStdU16String(); }

// Windows-1252 bytes to text; bytes the code page leaves undefined map to the
// control characters of the same value, as Windows' MultiByteToWideChar does.
QString fromWindows1252(const char* data, qsizetype size);
QString fromWindows1252(const std::string& bytes);
// Text to Windows-1252; characters the code page cannot hold become '?'.
std::string toWindows1252(const QString& text);
// Index of the first character of text that the code page cannot hold, -1
// when toWindows1252 keeps every one.
qsizetype firstOutsideWindows1252(const QString& text);

// The lines of a text: a leading byte-order mark selects UTF-8 or UTF-16
// (little or big endian), otherwise the bytes are Windows-1252. Lines end at
// CR LF, a lone CR or a lone LF; a last line without terminator counts, a
// terminator at the very end adds no empty line.
QStringList DecodeTextLines(const QByteArray& bytes);

}  // namespace kelvaro

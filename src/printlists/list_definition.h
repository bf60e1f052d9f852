// The header of a print-list definition: its titles in three languages and
// its compatibility tag. The rest of a definition belongs to the products'
// print engine and is stored unread.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace kelvaro {

struct ListHeader {
  QString compat;
  QString fTitle;
  QString iTitle;
  QString dTitle;
};

// The lines of a definition file: its bytes in the ANSI code page, cut at a
// NUL, one string per line (CR LF, LF or CR); a line end at the very end adds
// no empty line.
QStringList DefinitionLines(const QByteArray& bytes);
// Index of the first line that begins exactly with "COM:", or -1.
int FindCompatLine(const QStringList& lines);
// Index of the first line that begins exactly with "DES:" + letter + ":", or -1.
int FindDescriptionLine(const QStringList& lines, QChar letter);
// The value without a trailing "/*" comment and without surrounding spaces or
// control characters.
QString StripComment(const QString& value);
// Titles and tag of a decoded definition (one string per line); missing
// titles fall back to the X title, then to defaultTitle.
ListHeader ReadListHeader(const QStringList& lines, const QString& defaultTitle);

}  // namespace kelvaro

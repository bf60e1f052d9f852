#include "printlists/list_definition.h"

#include "support/text.h"

namespace kelvaro {
namespace {

constexpr qsizetype kMaxHeaderValue = 255;

int FindPrefix(const QStringList& lines, const QString& prefix) {
  for (qsizetype i = 0; i < lines.size(); ++i) {
    if (lines[i].startsWith(prefix, Qt::CaseSensitive)) return int(i);
  }
  return -1;
}

// The characters of a header line after its prefix, at most 255 of them;
// empty when there is no such line.
QString ValueAfter(const QStringList& lines, int index, qsizetype prefixLength) {
  if (index < 0) return {};
  return lines[index].mid(prefixLength, kMaxHeaderValue);
}

QString Title(const QStringList& lines, QChar letter) {
  return ValueAfter(lines, FindDescriptionLine(lines, letter), 6);
}

}  // namespace

QStringList DefinitionLines(const QByteArray& bytes) {
  const qsizetype nul = bytes.indexOf('\0');
  const QString text = fromWindows1252(bytes.constData(), nul < 0 ? bytes.size() : nul);
  QStringList lines;
  QString line;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
      lines << line;
      line.clear();
      if (c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n')) ++i;
    } else {
      line += c;
    }
  }
  if (!line.isEmpty()) lines << line;
  return lines;
}

int FindCompatLine(const QStringList& lines) { return FindPrefix(lines, QStringLiteral("COM:")); }

int FindDescriptionLine(const QStringList& lines, QChar letter) {
  return FindPrefix(lines, QStringLiteral("DES:") + letter + QLatin1Char(':'));
}

QString StripComment(const QString& value) {
  QString text = value;
  for (qsizetype i = 0; i + 1 < text.size(); ++i) {
    if (text[i] == QLatin1Char('/') && text[i + 1] == QLatin1Char('*')) {
      text.truncate(i);
      break;
    }
  }
  qsizetype begin = 0, end = text.size();
  while (begin < end && text[begin].unicode() <= 32) ++begin;
  while (end > begin && text[end - 1].unicode() <= 32) --end;
  return text.mid(begin, end - begin);
}

ListHeader ReadListHeader(const QStringList& lines, const QString& defaultTitle) {
  ListHeader header;
  header.compat = ValueAfter(lines, FindCompatLine(lines), 4);
  header.fTitle = Title(lines, QLatin1Char('F'));
  header.iTitle = Title(lines, QLatin1Char('I'));
  header.dTitle = Title(lines, QLatin1Char('D'));
  QString xTitle = Title(lines, QLatin1Char('X'));
  if (xTitle.isEmpty()) xTitle = defaultTitle;
  // The fallbacks come before the stripping, so a title that only becomes
  // empty through stripping stays empty.
  for (QString* title : {&header.fTitle, &header.iTitle, &header.dTitle}) {
    if (title->isEmpty()) *title = xTitle;
  }
  header.fTitle = StripComment(header.fTitle);
  header.iTitle = StripComment(header.iTitle);
  header.dTitle = StripComment(header.dTitle);
  header.compat = StripComment(header.compat);
  return header;
}

}  // namespace kelvaro

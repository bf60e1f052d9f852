#include "support/text.h"

#include <QStringDecoder>
#include <array>

namespace kelvaro {
namespace {

// Windows-1252 bytes 0x80..0x9F; the five the code page leaves undefined map
// to the control character of the same value, as Windows does.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t DecodeByte(unsigned char byte) {
  if (byte >= 0x80 && byte < 0xA0) return kHighControls[byte - 0x80];
  return byte;
}

// The byte of a character, or -1 when the code page has none.
int EncodeChar(char16_t u) {
  if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return u;
  for (size_t i = 0; i < kHighControls.size(); ++i) {
    if (kHighControls[i] == u) return int(0x80 + i);
  }
  return -1;
}

// The text of a file's bytes: a byte-order mark selects UTF-8 or UTF-16,
// otherwise they are Windows-1252.
QString DecodeText(const QByteArray& bytes) {
  const auto startsWith = [&bytes](const char* bom) { return bytes.startsWith(QByteArray(bom)); };
  if (startsWith("\xEF\xBB\xBF")) return QString::fromUtf8(bytes.mid(3));
  if (startsWith("\xFF\xFE")) return QStringDecoder(QStringConverter::Utf16LE).decode(bytes.mid(2));
  if (startsWith("\xFE\xFF")) return QStringDecoder(QStringConverter::Utf16BE).decode(bytes.mid(2));
  return fromWindows1252(bytes.constData(), bytes.size());
}

}  // namespace

QString fromWindows1252(const char* data, qsizetype size) {
  QString text(size, Qt::Uninitialized);
  QChar* out = text.data();
  for (qsizetype i = 0; i < size; ++i) out[i] = QChar(DecodeByte(static_cast<unsigned char>(data[i])));
  return text;
}

QString fromWindows1252(const std::string& bytes) { return fromWindows1252(bytes.data(), qsizetype(bytes.size())); }

std::string toWindows1252(const QString& text) {
  std::string bytes;
  bytes.reserve(size_t(text.size()));
  for (QChar c : text) {
    const int byte = EncodeChar(c.unicode());
    bytes.push_back(byte < 0 ? '?' : char(byte));
  }
  return bytes;
}

qsizetype firstOutsideWindows1252(const QString& text) {
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (EncodeChar(text[i].unicode()) < 0) return i;
  }
  return -1;
}

QStringList DecodeTextLines(const QByteArray& bytes) {
  const QString text = DecodeText(bytes);
  QStringList lines;
  qsizetype start = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text.at(i);
    if (c != u'\r' && c != u'\n') continue;
    lines.append(text.mid(start, i - start));
    if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.append(text.mid(start));
  return lines;
}

}  // namespace kelvaro

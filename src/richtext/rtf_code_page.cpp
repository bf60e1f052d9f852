#include "richtext/rtf_code_page.h"

#include <QStringDecoder>
#include <map>
#include <mutex>

#include "support/text.h"

namespace kelvaro {
namespace {

// The converter name of a Windows code page, or null when we have none.
const char* ConverterName(int codePage) {
  switch (codePage) {
    case 874: return "windows-874";
    case 932: return "Shift_JIS";
    case 936: return "GBK";
    case 949: return "windows-949";
    case 950: return "Big5";
    case 1250: return "windows-1250";
    case 1251: return "windows-1251";
    case 1253: return "windows-1253";
    case 1254: return "windows-1254";
    case 1255: return "windows-1255";
    case 1256: return "windows-1256";
    case 1257: return "windows-1257";
    case 1258: return "windows-1258";
    case 437: return "IBM437";
    case 850: return "IBM850";
    case 10000: return "macintosh";
    default: return nullptr;
  }
}

// Symbol font positions that differ from Latin-1: Greek letters and the signs
// documents use (the bullet of list items above all).
QChar FromSymbol(unsigned char byte) {
  static const char16_t kUpper[] = u"ΑΒΧΔΕΦΓΗΙϑΚΛΜΝΟΠΘΡΣΤΥςΩΞΨΖ";
  static const char16_t kLower[] = u"αβχδεφγηιϕκλμνοπθρστυϖωξψζ";
  if (byte >= 'A' && byte <= 'Z') return QChar(kUpper[byte - 'A']);
  if (byte >= 'a' && byte <= 'z') return QChar(kLower[byte - 'a']);
  switch (byte) {
    case 0x2D: return QChar(0x2212);  // minus
    case 0xA3: return QChar(0x2264);  // less or equal
    case 0xAC: return QChar(0x2190);  // arrows
    case 0xAD: return QChar(0x2191);
    case 0xAE: return QChar(0x2192);
    case 0xAF: return QChar(0x2193);
    case 0xB3: return QChar(0x2265);  // greater or equal
    case 0xB4: return QChar(0x00D7);  // multiplication
    case 0xB7: return QChar(0x2022);  // bullet
    case 0xB8: return QChar(0x00F7);  // division
    case 0xB9: return QChar(0x2260);  // not equal
    case 0xBB: return QChar(0x2248);  // almost equal
    case 0xD7: return QChar(0x22C5);  // dot operator
    case 0xE2: return QChar(0x00AE);  // registered
    case 0xE3: return QChar(0x00A9);  // copyright
    case 0xE4: return QChar(0x2122);  // trade mark
    default: return QChar(byte);
  }
}

}  // namespace

int CodePageOfCharset(int charset, int documentCodePage) {
  switch (charset) {
    case 0: return kWindows1252;
    case 2: return kSymbolCodePage;
    case 77: return 10000;
    case 128: return 932;
    case 129: return 949;
    case 134: return 936;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    case 255: return 437;
    default: return documentCodePage;  // 1 (default) and unknown values
  }
}

bool IsKnownCodePage(int codePage) {
  if (codePage == kWindows1252 || codePage == kSymbolCodePage) return true;
  const char* name = ConverterName(codePage);
  if (!name) return false;
  // Opening a converter is costly and whether one exists never changes: each
  // page is asked about once, when a document first names it.
  static std::mutex mutex;
  static std::map<int, bool> available;
  const std::lock_guard<std::mutex> lock(mutex);
  const auto [it, added] = available.try_emplace(codePage, false);
  if (added) it->second = QStringDecoder(name).isValid();
  return it->second;
}

QString DecodeCodePage(const QByteArray& bytes, int codePage) {
  if (codePage == kSymbolCodePage) {
    QString text;
    text.reserve(bytes.size());
    for (char byte : bytes) text.append(FromSymbol(static_cast<unsigned char>(byte)));
    return text;
  }
  const char* name = ConverterName(codePage);
  if (name && IsKnownCodePage(codePage)) {
    QStringDecoder decoder(name);
    if (decoder.isValid()) return decoder.decode(bytes);
  }
  return fromWindows1252(bytes.constData(), bytes.size());
}

}  // namespace kelvaro

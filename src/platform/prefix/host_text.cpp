#include "platform/prefix/host_text.h"

#include <clocale>
#include <cwctype>
#include <locale.h>

namespace platform::prefix {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(char(c));
  } else if (c < 0x800) {
    out.push_back(char(0xC0 | (c >> 6)));
    out.push_back(char(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(char(0xE0 | (c >> 12)));
    out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(char(0x80 | (c & 0x3F)));
  } else {
    out.push_back(char(0xF0 | (c >> 18)));
    out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(char(0x80 | (c & 0x3F)));
  }
}

void AppendUtf16(String& out, char32_t c) {
  if (c < 0x10000) {
    out.push_back(char16_t(c));
  } else {
    c -= 0x10000;
    out.push_back(char16_t(0xD800 + (c >> 10)));
    out.push_back(char16_t(0xDC00 + (c & 0x3FF)));
  }
}

// Decodes one UTF-8 sequence at i; advances i past it.
char32_t NextUtf8(const std::string& s, size_t& i) {
  const unsigned char lead = static_cast<unsigned char>(s[i++]);
  if (lead < 0x80) return lead;
  int extra = lead >= 0xF0 && lead < 0xF8 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 && lead < 0xE0 ? 1 : -1;
  if (extra < 0 || (lead >= 0xE0 && extra == 1)) return kReplacement;
  char32_t c = lead & (0x3F >> extra);
  for (int k = 0; k < extra; ++k) {
    if (i >= s.size() || (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return kReplacement;
    c = (c << 6) | (static_cast<unsigned char>(s[i++]) & 0x3F);
  }
  static constexpr char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
  if (c < kMinimum[extra] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) return kReplacement;
  return c;
}

// The C.UTF-8 locale knows the case of every letter; the plain C locale only
// that of ASCII, which is what is left when it is missing.
locale_t UnicodeLocale() {
  static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
  return locale;
}

char32_t Upper(char32_t c) {
  if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 32 : c;
  if (locale_t l = UnicodeLocale()) return static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), l));
  return c;
}

}  // namespace

std::string HostText(const String& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (c >= 0xD800 && c < 0xE000) {
      c = kReplacement;
    }
    AppendUtf8(out, c);
  }
  return out;
}

String WindowsText(const std::string& bytes) {
  String out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size();) AppendUtf16(out, NextUtf8(bytes, i));
  return out;
}

String UpperCaseName(const String& text) {
  String out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    AppendUtf16(out, Upper(c));
  }
  return out;
}

bool SameNameIgnoringCase(const String& a, const String& b) {
  return a.size() == b.size() && UpperCaseName(a) == UpperCaseName(b);
}

namespace {

bool MatchFrom(const String& name, size_t n, const String& mask, size_t m) {
  while (m < mask.size()) {
    if (mask[m] == u'*') {
      while (m < mask.size() && mask[m] == u'*') ++m;
      if (m == mask.size()) return true;
      for (size_t k = n; k <= name.size(); ++k) {
        if (MatchFrom(name, k, mask, m)) return true;
      }
      return false;
    }
    if (n == name.size()) return false;
    if (mask[m] != u'?' && mask[m] != name[n]) return false;
    ++m;
    ++n;
  }
  return n == name.size();
}

}  // namespace

bool MatchesMask(const String& name, const String& mask) {
  if (mask == u"*.*") return true;
  return MatchFrom(UpperCaseName(name), 0, UpperCaseName(mask), 0);
}

}  // namespace platform::prefix

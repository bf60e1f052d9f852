#include "platform/prefix/registry_text.h"

#include <array>
#include <cstdio>

namespace platform::prefix::regtext {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Bytes a string scan must stop at: the backslash, the quotes, the line end,
// and everything above 127 (UTF-8 to decode). The rest are taken as they are.
constexpr std::array<bool, 256> MakeStopTable() {
  std::array<bool, 256> stop{};
  stop['\\'] = stop['"'] = stop[']'] = stop['\n'] = true;
  for (int i = 128; i < 256; ++i) stop[i] = true;
  return stop;
}
constexpr std::array<bool, 256> kStop = MakeStopTable();

void Append16(String* out, uint32_t c) {
  if (!out) return;
  if (c < 0x10000) {
    out->push_back(static_cast<char16_t>(c));
  } else {
    c -= 0x10000;
    out->push_back(static_cast<char16_t>(0xD800 | (c >> 10)));
    out->push_back(static_cast<char16_t>(0xDC00 | (c & 0x3FF)));
  }
}

// One UTF-8 sequence at c->p (first byte >= 0x80); an invalid one gives its
// first byte as a Latin-1 character so that nothing is dropped.
uint32_t ReadUtf8(Cursor* c) {
  const auto* s = reinterpret_cast<const unsigned char*>(c->p);
  size_t left = static_cast<size_t>(c->end - c->p);
  unsigned char b = s[0];
  int length = b >= 0xF0 && b < 0xF5 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 && b < 0xE0 ? 2 : 0;
  if (length == 0 || left < static_cast<size_t>(length)) {
    ++c->p;
    return b;
  }
  uint32_t value = b & (0x7F >> length);
  for (int i = 1; i < length; ++i) {
    if ((s[i] & 0xC0) != 0x80) {
      ++c->p;
      return b;
    }
    value = (value << 6) | (s[i] & 0x3F);
  }
  static constexpr uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kMin[length] || value > 0x10FFFF || (value >= 0xD800 && value < 0xE000)) {
    ++c->p;
    return b;
  }
  c->p += length;
  return value;
}

bool Fail(std::string* reason, const char* text) {
  if (reason) *reason = text;
  return false;
}

// After the data: only blanks up to the end of the line, then the next line.
bool FinishLine(Cursor* c, std::string* reason) {
  while (c->p < c->end && (*c->p == ' ' || *c->p == '\t' || *c->p == '\r')) ++c->p;
  if (c->p < c->end && *c->p != '\n') return Fail(reason, "texte inattendu après la donnée");
  if (c->p < c->end) {
    ++c->p;
    ++c->line;
  }
  return true;
}

void AppendUtf16Le(const String& text, std::string* data) {
  for (char16_t ch : text) {
    data->push_back(static_cast<char>(ch & 0xFF));
    data->push_back(static_cast<char>(ch >> 8));
  }
}

bool ReadHexType(Cursor* c, char close, uint32_t* type) {
  uint32_t value = 0;
  int digits = 0;
  while (c->p < c->end && HexDigit(*c->p) >= 0 && digits < 8) {
    value = value * 16 + HexDigit(*c->p++);
    ++digits;
  }
  if (digits == 0 || c->p + 1 >= c->end || c->p[0] != close || c->p[1] != ':') return false;
  c->p += 2;
  *type = value;
  return true;
}

bool ReadString(Cursor* c, std::string* data, std::string* reason) {
  if (c->p >= c->end || *c->p != '"') return Fail(reason, "guillemet attendu au début de la chaîne");
  ++c->p;
  if (!data) return ReadEscaped(c, '"', nullptr, reason) && FinishLine(c, reason);
  String text;
  if (!ReadEscaped(c, '"', &text, reason)) return false;
  data->clear();
  data->reserve((text.size() + 1) * 2);
  AppendUtf16Le(text, data);
  data->append(2, '\0');
  return FinishLine(c, reason);
}

bool ReadDword(Cursor* c, std::string* data, std::string* reason) {
  uint32_t value = 0;
  int digits = 0;
  while (c->p < c->end && HexDigit(*c->p) >= 0) {
    if (++digits > 8) return Fail(reason, "donnée dword invalide");
    value = value * 16 + HexDigit(*c->p++);
  }
  if (digits == 0) return Fail(reason, "donnée dword invalide");
  if (data) {
    data->assign(4, '\0');
    for (int i = 0; i < 4; ++i) (*data)[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  }
  return FinishLine(c, reason);
}

bool ReadHexBytes(Cursor* c, std::string* data, std::string* reason) {
  if (data) data->clear();
  for (;;) {
    while (c->p < c->end && (*c->p == ' ' || *c->p == '\t' || *c->p == '\r')) ++c->p;
    if (c->p >= c->end || *c->p == '\n') return FinishLine(c, reason);
    if (*c->p == '\\') {
      // A continuation: nothing but blanks may follow on this line.
      ++c->p;
      while (c->p < c->end && (*c->p == ' ' || *c->p == '\t' || *c->p == '\r')) ++c->p;
      if (c->p < c->end && *c->p != '\n') return Fail(reason, "donnée hexadécimale invalide");
      if (c->p >= c->end) return Fail(reason, "donnée hexadécimale coupée en fin de fichier");
      ++c->p;
      ++c->line;
      continue;
    }
    int high = HexDigit(*c->p);
    if (high < 0) return Fail(reason, "donnée hexadécimale invalide");
    ++c->p;
    int value = high;
    if (c->p < c->end && HexDigit(*c->p) >= 0) value = value * 16 + HexDigit(*c->p++);
    if (data) data->push_back(static_cast<char>(value));
    while (c->p < c->end && (*c->p == ' ' || *c->p == '\t')) ++c->p;
    if (c->p < c->end && *c->p == ',') ++c->p;
    else if (c->p < c->end && *c->p != '\n' && *c->p != '\\' && *c->p != '\r')
      return Fail(reason, "donnée hexadécimale invalide");
  }
}

bool StartsWith(const Cursor& c, std::string_view word) {
  return static_cast<size_t>(c.end - c.p) >= word.size() && std::string_view(c.p, word.size()) == word;
}

}  // namespace

bool ReadEscaped(Cursor* c, char terminator, String* out, std::string* reason) {
  for (;;) {
    // The common run of plain characters, without decoding.
    const char* start = c->p;
    while (c->p < c->end && !kStop[static_cast<unsigned char>(*c->p)]) ++c->p;
    if (out) out->append(start, c->p);
    if (c->p >= c->end || *c->p == '\n') return Fail(reason, terminator == ']' ? "ligne de clé non terminée (« ] » manquant)" : "chaîne non terminée");
    char ch = *c->p;
    if (ch == terminator) {
      ++c->p;
      return true;
    }
    if (static_cast<unsigned char>(ch) >= 0x80) {
      Append16(out, ReadUtf8(c));
      continue;
    }
    if (ch != '\\') {  // the other quote character, taken as it is
      if (out) out->push_back(static_cast<char16_t>(ch));
      ++c->p;
      continue;
    }
    ++c->p;
    if (c->p >= c->end || *c->p == '\n') return Fail(reason, terminator == ']' ? "ligne de clé non terminée (« ] » manquant)" : "chaîne non terminée");
    ch = *c->p++;
    switch (ch) {
      case 'a': Append16(out, '\a'); break;
      case 'b': Append16(out, '\b'); break;
      case 'e': Append16(out, 0x1B); break;
      case 'f': Append16(out, '\f'); break;
      case 'n': Append16(out, '\n'); break;
      case 'r': Append16(out, '\r'); break;
      case 't': Append16(out, '\t'); break;
      case 'v': Append16(out, '\v'); break;
      case 'x': {
        uint32_t value = 0;
        int digits = 0;
        while (digits < 4 && c->p < c->end && HexDigit(*c->p) >= 0) {
          value = value * 16 + HexDigit(*c->p++);
          ++digits;
        }
        if (digits == 0) return Fail(reason, "séquence \\x sans chiffre hexadécimal");
        Append16(out, value);
        break;
      }
      default:
        if (ch >= '0' && ch <= '7') {
          uint32_t value = ch - '0';
          for (int digits = 1; digits < 3 && c->p < c->end && *c->p >= '0' && *c->p <= '7'; ++digits) value = value * 8 + (*c->p++ - '0');
          Append16(out, value);
        } else if (static_cast<unsigned char>(ch) >= 0x80) {
          --c->p;
          Append16(out, ReadUtf8(c));
        } else {
          Append16(out, static_cast<unsigned char>(ch));
        }
    }
  }
}

bool ReadValueData(Cursor* c, uint32_t* type, std::string* data, std::string* reason) {
  if (c->p < c->end && *c->p == '"') {
    *type = 1;  // REG_SZ
    return ReadString(c, data, reason);
  }
  if (StartsWith(*c, "str(")) {
    c->p += 4;
    if (!ReadHexType(c, ')', type)) return Fail(reason, "type de valeur inconnu");
    return ReadString(c, data, reason);
  }
  if (StartsWith(*c, "dword:")) {
    c->p += 6;
    *type = 4;  // REG_DWORD
    return ReadDword(c, data, reason);
  }
  if (StartsWith(*c, "hex:")) {
    c->p += 4;
    *type = 3;  // REG_BINARY
    return ReadHexBytes(c, data, reason);
  }
  if (StartsWith(*c, "hex(")) {
    c->p += 4;
    if (!ReadHexType(c, ')', type)) return Fail(reason, "type de valeur inconnu");
    return ReadHexBytes(c, data, reason);
  }
  return Fail(reason, "type de valeur inconnu");
}

void AppendEscaped(std::u16string_view text, char quote, std::string* out) {
  static constexpr char kEscapes[33] = ".......abtnvfr.............e....";
  auto isHex = [](char16_t ch) { return ch < 128 && HexDigit(static_cast<char>(ch)) >= 0; };
  char buffer[16];
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t ch = text[i];
    bool hasNext = i + 1 < text.size();
    if (ch > 127) {
      int n = std::snprintf(buffer, sizeof buffer, hasNext && isHex(text[i + 1]) ? "\\x%04x" : "\\x%x", unsigned(ch));
      out->append(buffer, n);
    } else if (ch < 32) {
      int n;
      if (kEscapes[ch] != '.') n = std::snprintf(buffer, sizeof buffer, "\\%c", kEscapes[ch]);
      else if (hasNext && text[i + 1] >= '0' && text[i + 1] <= '7') n = std::snprintf(buffer, sizeof buffer, "\\%03o", unsigned(ch));
      else n = std::snprintf(buffer, sizeof buffer, "\\%o", unsigned(ch));
      out->append(buffer, n);
    } else {
      // Key names escape both brackets, values the double quote.
      if (ch == '\\' || ch == quote || (quote == ']' && ch == '[')) out->push_back('\\');
      out->push_back(static_cast<char>(ch));
    }
  }
}

namespace {

// Strings are written as strings only when Wine would: whole UTF-16 units
// ending with a NUL. Anything else goes out as hex, keeping every byte.
bool IsTerminatedString(std::string_view data) {
  return data.size() >= 2 && data.size() % 2 == 0 && data[data.size() - 1] == 0 && data[data.size() - 2] == 0;
}

String Utf16Units(std::string_view data) {
  String text;
  text.reserve(data.size() / 2);
  for (size_t i = 0; i + 1 < data.size(); i += 2)
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(data[i]) | (static_cast<unsigned char>(data[i + 1]) << 8)));
  return text;
}

}  // namespace

void AppendValue(std::u16string_view name, uint32_t type, std::string_view data, std::string* out) {
  const size_t lineStart = out->size();
  if (name.empty()) {
    out->append("@=");
  } else {
    out->push_back('"');
    AppendEscaped(name, '"', out);
    out->append("\"=");
  }
  char buffer[32];
  if ((type == 1 || type == 2 || type == 7) && IsTerminatedString(data)) {
    if (type != 1) out->append(buffer, std::snprintf(buffer, sizeof buffer, "str(%x):", unsigned(type)));
    out->push_back('"');
    String text = Utf16Units(data.substr(0, data.size() - 2));
    AppendEscaped(text, '"', out);
    out->append("\"\n");
    return;
  }
  if (type == 4 && data.size() == 4) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= uint32_t(static_cast<unsigned char>(data[i])) << (8 * i);
    out->append(buffer, std::snprintf(buffer, sizeof buffer, "dword:%08x\n", unsigned(value)));
    return;
  }
  if (type == 3) out->append("hex:");
  else out->append(buffer, std::snprintf(buffer, sizeof buffer, "hex(%x):", unsigned(type)));
  // Wine wraps after 76 columns, counting from the start of the value line.
  size_t count = out->size() - lineStart;
  for (size_t i = 0; i < data.size(); ++i) {
    out->append(buffer, std::snprintf(buffer, sizeof buffer, "%02x", unsigned(static_cast<unsigned char>(data[i]))));
    count += 2;
    if (i + 1 < data.size()) {
      out->push_back(',');
      if (++count > 76) {
        out->append("\\\n  ");
        count = 2;
      }
    }
  }
  out->push_back('\n');
}

void AppendKeyHeader(std::u16string_view path, FileTime now, std::string* out) {
  out->push_back('[');
  AppendEscaped(path, ']', out);
  char buffer[64];
  const uint64_t seconds = now / 10000000ULL - kUnixEpochInFileTimeSeconds;
  out->append(buffer, std::snprintf(buffer, sizeof buffer, "] %u\n#time=%x%08x\n", unsigned(seconds),
                                    unsigned(now >> 32), unsigned(now & 0xFFFFFFFFu)));
}

}  // namespace platform::prefix::regtext

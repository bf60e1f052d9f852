#include "platform/prefix/registry_document.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define KELVARO_REGISTRY_AVX2 1
#endif

#include "platform/prefix/registry_text.h"

namespace platform::prefix {

char16_t FoldCaseWide(char16_t c) {
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  if (c >= 0x100 && c <= 0x17F) {
    if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
    if (c == 0x178) return 0xFF;
    const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    return oddUpper ? ((c & 1) ? c + 1 : c) : ((c & 1) ? c : c + 1);
  }
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;
  if (c >= 0x410 && c <= 0x42F) return c + 32;
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  return c;
}

namespace {

// Four UTF-16 units of printable ASCII folded at once: most names are such.
uint64_t FoldAsciiUnits(uint64_t w) {
  constexpr uint64_t kLanes = 0x0001000100010001ULL;
  const uint64_t atLeastA = w + (0x80 - 'A') * kLanes;
  const uint64_t aboveZ = w + (0x80 - 'Z' - 1) * kLanes;
  return w | ((atLeastA & ~aboveZ & (0x80 * kLanes)) >> 2);
}

uint64_t FoldedUnits(const char16_t* s) {
  if constexpr (std::endian::native == std::endian::little) {
    uint64_t w;
    std::memcpy(&w, s, 8);
    if ((w & 0xFF80FF80FF80FF80ULL) == 0) return FoldAsciiUnits(w);
  }
  return uint64_t(FoldCase(s[0])) | uint64_t(FoldCase(s[1])) << 16 | uint64_t(FoldCase(s[2])) << 32 |
         uint64_t(FoldCase(s[3])) << 48;
}

}  // namespace

size_t FoldHash::operator()(std::u16string_view s) const noexcept {
  // Four folded characters per multiply: names are hashed on every lookup.
  uint64_t h = 0x9E3779B97F4A7C15ULL ^ s.size();
  size_t i = 0;
  for (; i + 4 <= s.size(); i += 4) {
    h = (h ^ FoldedUnits(s.data() + i)) * 0xFF51AFD7ED558CCDULL;
    h ^= h >> 32;
  }
  uint64_t w = 0;
  for (int shift = 0; i < s.size(); ++i, shift += 16) w |= uint64_t(FoldCase(s[i])) << shift;
  h = (h ^ w) * 0xC4CEB9FE1A85EC53ULL;
  return static_cast<size_t>(h ^ (h >> 29));
}

bool FoldEqual::operator()(std::u16string_view a, std::u16string_view b) const noexcept {
  if (a.size() != b.size()) return false;
  if (a == b) return true;  // the usual case: spelt alike
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i] && FoldCase(a[i]) != FoldCase(b[i])) return false;
  return true;
}

namespace {

// Wine's order of keys in a file: parents before children, siblings sorted
// ignoring case. Mapping the separator below every character gives exactly
// that order from one comparison of the whole paths.
bool TreeLess(std::u16string_view a, std::u16string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    char16_t x = a[i] == u'\\' ? 0 : FoldCase(a[i]);
    char16_t y = b[i] == u'\\' ? 0 : FoldCase(b[i]);
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

bool NameLess(std::u16string_view a, std::u16string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    char16_t x = FoldCase(a[i]), y = FoldCase(b[i]);
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

const char* LineEnd(const char* p, const char* end) {
  const void* nl = std::memchr(p, '\n', static_cast<size_t>(end - p));
  return nl ? static_cast<const char*>(nl) : end;
}

bool BlankLine(const char* p, const char* lineEnd) {
  for (; p < lineEnd; ++p)
    if (*p != ' ' && *p != '\t' && *p != '\r') return false;
  return true;
}

// Key names as the file spells them may hold empty components; Wine's server
// skips them, so they name the same key as the tidy path.
bool TidyKeyPath(String* path) {
  if (!path->empty() && (*path)[0] == u'\\') return false;
  String tidy;
  tidy.reserve(path->size());
  for (char16_t c : *path) {
    if (c == u'\\' && (tidy.empty() || tidy.back() == u'\\')) continue;
    tidy.push_back(c);
  }
  if (!tidy.empty() && tidy.back() == u'\\') tidy.pop_back();
  if (tidy.size() != path->size()) *path = std::move(tidy);
  return true;
}

}  // namespace


// Key names in the index. A path is spelt with each character folded, a
// separator as two backslashes, printable ASCII as itself and anything else
// as \x and four hex digits; ASCII letters are compared and hashed ignoring
// case. The file's own spelling of most names is exactly that (plain ASCII
// with doubled backslashes), so those are indexed straight from its bytes;
// only names with other escapes or non-ASCII bytes are decoded and spelt anew.
namespace {

constexpr uint64_t kOnes = 0x0101010101010101ULL;
constexpr uint64_t kHigh = 0x8080808080808080ULL;

uint64_t Load8(const char* p) {
  uint64_t w;
  std::memcpy(&w, p, 8);
  return w;
}

// High bit set in each byte of `v` that is zero (exact for the first one).
[[maybe_unused]] uint64_t ZeroBytes(uint64_t v) { return (v - kOnes) & ~v & kHigh; }

[[maybe_unused]] size_t FirstFlagged(uint64_t mask) {
  if constexpr (std::endian::native == std::endian::little) return static_cast<size_t>(std::countr_zero(mask)) >> 3;
  else return static_cast<size_t>(std::countl_zero(mask)) >> 3;
}

// ASCII capitals of eight bytes to small letters.
uint64_t FoldWord(uint64_t w) {
  const uint64_t low = w & (0x7F * kOnes);
  const uint64_t atLeastA = low + (0x80 - 'A') * kOnes;
  const uint64_t aboveZ = low + (0x80 - 'Z' - 1) * kOnes;
  return w | ((atLeastA & ~aboveZ & ~w & kHigh) >> 2);
}

// The index hashes a key's last component together with its parent's id,
// so a key line costs the hashing of its new components only.
uint64_t ComponentHash(uint32_t parent, const char* s, size_t n) {
  uint64_t h = 0x9E3779B97F4A7C15ULL ^ (uint64_t(parent) * 0xD6E8FEB86659FD93ULL);
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    h = (h ^ FoldWord(Load8(s + i))) * 0xFF51AFD7ED558CCDULL;
    h ^= h >> 32;
  }
  uint64_t w = 0;
  std::memcpy(&w, s + i, n - i);
  h = (h ^ FoldWord(w) ^ (uint64_t(n) << 56)) * 0xC4CEB9FE1A85EC53ULL;
  return h ^ (h >> 29);
}

char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool NamesEqual(const char* a, size_t an, const char* b, size_t bn) {
  if (an != bn) return false;
  if (std::memcmp(a, b, an) == 0) return true;
  for (size_t i = 0; i < an; ++i)
    if (a[i] != b[i] && FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  return true;
}

std::string KeyName(std::u16string_view path) {
  std::string out;
  out.reserve(path.size() + 8);
  for (char16_t c : path) {
    c = FoldCase(c);
    if (c == u'\\') {
      out.append("\\\\");
    } else if (c >= 0x20 && c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else {
      char buffer[8];
      out.append(buffer, static_cast<size_t>(std::snprintf(buffer, sizeof buffer, "\\x%04x", unsigned(c))));
    }
  }
  return out;
}

// Where a name component ends: the first byte from p on that is a
// backslash, the closing bracket, or outside printable ASCII (a line end
// among them). Sixteen bytes a step where the processor has the vector
// instructions for it, eight otherwise.
const char* NameStop(const char* p, const char* end) {
#if defined(__SSE2__)
  const __m128i backslash = _mm_set1_epi8('\\');
  const __m128i bracket = _mm_set1_epi8(']');
  const __m128i space = _mm_set1_epi8(0x20);
  while (end - p >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    // Bytes above 127 are negative as signed bytes, so below the space too.
    const __m128i stop = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, backslash), _mm_cmpeq_epi8(v, bracket)),
                                      _mm_cmplt_epi8(v, space));
    if (const int mask = _mm_movemask_epi8(stop)) return p + std::countr_zero(static_cast<unsigned>(mask));
    p += 16;
  }
#else
  while (end - p >= 8) {
    const uint64_t w = Load8(p);
    const uint64_t stop = ZeroBytes(w ^ ('\\' * kOnes)) | ZeroBytes(w ^ (uint8_t(']') * kOnes)) |
                          ((w - 0x20 * kOnes) & ~w & kHigh) | (w & kHigh);
    if (stop) return p + FirstFlagged(stop);
    p += 8;
  }
#endif
  for (; p < end; ++p) {
    const auto b = static_cast<unsigned char>(*p);
    if (b == '\\' || b == ']' || b < 0x20 || b >= 0x80) break;
  }
  return p;
}

// Index spellings in order, ASCII letters folded: equal exactly when
// NamesEqual says so.
bool SpeltBefore(const char* a, size_t an, const char* b, size_t bn) {
  const size_t n = std::min(an, bn);
  for (size_t i = 0; i < n; ++i) {
    const char x = FoldAscii(a[i]), y = FoldAscii(b[i]);
    if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
  }
  return an < bn;
}

// Length of the common start of two byte strings.
size_t CommonPrefix(const char* a, size_t an, const char* b, size_t bn) {
  const size_t n = std::min(an, bn);
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    if (const uint64_t diff = Load8(a + i) ^ Load8(b + i)) {
      if constexpr (std::endian::native == std::endian::little) return i + (static_cast<size_t>(std::countr_zero(diff)) >> 3);
      else return i + (static_cast<size_t>(std::countl_zero(diff)) >> 3);
    }
  }
  while (i < n && a[i] == b[i]) ++i;
  return i;
}

constexpr std::array<bool, 256> MakeHexTable() {
  std::array<bool, 256> hex{};
  for (int c = '0'; c <= '9'; ++c) hex[c] = true;
  for (int c = 'a'; c <= 'f'; ++c) hex[c] = hex[c - 32] = true;
  return hex;
}
constexpr std::array<bool, 256> kHex = MakeHexTable();
bool IsHex(char c) { return kHex[static_cast<unsigned char>(c)]; }

}  // namespace

// The positions of the bytes a line's structure turns on outside key
// names: line ends, double quotes and backslashes. One bit per byte, made
// for a block of text at a time, sixteen bytes a step where the processor
// has the vector instructions for it; finding the next such byte is then a
// mask and a count of zeros instead of a look at every byte, and a short
// line's strings can be checked from its marks alone.
class TextStructure {
 public:
  // The marks of the 64 bytes from a position on; bytes past the end of the
  // text mark nothing.
  struct Window {
    uint64_t quotes = 0, backslashes = 0, newlines = 0;
  };

  TextStructure(const char* begin, const char* end) : begin_(begin), size_(static_cast<size_t>(end - begin)) { Fill(0); }

  Window At(const char* p) {
    const auto at = static_cast<size_t>(p - begin_);
    if (at >= size_) return {};
    if (at - base_ >= kBlock) Fill(at & ~(kBlock - 1));
    const size_t word = (at - base_) >> 6;
    const unsigned shift = at & 63;
    return {Join(quotes_, word, shift), Join(backslashes_, word, shift), Join(newlines_, word, shift)};
  }

  // The first position from p on holding '\n', '"' or '\\', or the end.
  const char* Next(const char* p) {
    const auto at = static_cast<size_t>(p - begin_);
    if (at >= size_) return begin_ + size_;
    if (at - base_ >= kBlock) Fill(at & ~(kBlock - 1));
    size_t word = (at - base_) >> 6;
    uint64_t bits = Any(word) & (~uint64_t(0) << (at & 63));
    while (bits == 0) {
      if (++word == kWords) {
        if (base_ + kBlock >= size_) return begin_ + size_;
        Fill(base_ + kBlock);
        word = 0;
      }
      bits = Any(word);
    }
    return begin_ + base_ + word * 64 + static_cast<size_t>(std::countr_zero(bits));
  }

  // The end of the line p is on: its '\n' or the end of the text.
  const char* LineEnd(const char* p) {
    if (const uint64_t newlines = At(p).newlines) return p + std::countr_zero(newlines);
    while ((p = Next(p)) < begin_ + size_ && *p != '\n') ++p;
    return p;
  }

 private:
  static constexpr size_t kBlock = 4096;
  static constexpr size_t kWords = kBlock / 64;

  uint64_t Any(size_t word) const { return quotes_[word] | backslashes_[word] | newlines_[word]; }

  static uint64_t Join(const uint64_t* words, size_t word, unsigned shift) {
    return shift ? (words[word] >> shift) | (words[word + 1] << (64 - shift)) : words[word];
  }

  // The block's words and one more, so that a window from anywhere in the
  // block can be made.
  void Fill(size_t base) {
    base_ = base;
    for (size_t w = 0; w <= kWords; ++w) {
      const size_t at = base + w * 64;
      if (at + 64 <= size_) {
        Mark(begin_ + at, w);
      } else if (at < size_) {
        char tail[64] = {};  // bytes past the end mark nothing
        std::memcpy(tail, begin_ + at, size_ - at);
        Mark(tail, w);
      } else {
        quotes_[w] = backslashes_[w] = newlines_[w] = 0;
      }
    }
  }

  void Mark(const char* p, size_t w) {
#if defined(KELVARO_REGISTRY_AVX2)
    if (kHaveAvx2) return MarkWide(p, w);
#endif
#if defined(__SSE2__)
    const __m128i newline = _mm_set1_epi8('\n');
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i backslash = _mm_set1_epi8('\\');
    uint64_t q = 0, b = 0, n = 0;
    for (int i = 0; i < 4; ++i) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
      q |= uint64_t(static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, quote)))) << (16 * i);
      b |= uint64_t(static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, backslash)))) << (16 * i);
      n |= uint64_t(static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, newline)))) << (16 * i);
    }
    quotes_[w] = q;
    backslashes_[w] = b;
    newlines_[w] = n;
#else
    uint64_t q = 0, b = 0, n = 0;
    for (int i = 0; i < 64; ++i) {
      q |= uint64_t(p[i] == '"') << i;
      b |= uint64_t(p[i] == '\\') << i;
      n |= uint64_t(p[i] == '\n') << i;
    }
    quotes_[w] = q;
    backslashes_[w] = b;
    newlines_[w] = n;
#endif
  }

#if defined(KELVARO_REGISTRY_AVX2)
  // Thirty-two bytes a step on processors that have AVX2, asked once.
  static inline const bool kHaveAvx2 = __builtin_cpu_supports("avx2");

  __attribute__((target("avx2"))) void MarkWide(const char* p, size_t w) {
    const __m256i newline = _mm256_set1_epi8('\n');
    const __m256i quote = _mm256_set1_epi8('"');
    const __m256i backslash = _mm256_set1_epi8('\\');
    uint64_t q = 0, b = 0, n = 0;
    for (int i = 0; i < 2; ++i) {
      const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * i));
      q |= uint64_t(static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, quote)))) << (32 * i);
      b |= uint64_t(static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, backslash)))) << (32 * i);
      n |= uint64_t(static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, newline)))) << (32 * i);
    }
    quotes_[w] = q;
    backslashes_[w] = b;
    newlines_[w] = n;
  }
#endif

  const char* begin_;
  size_t size_;
  size_t base_ = 0;
  uint64_t quotes_[kWords + 1];
  uint64_t backslashes_[kWords + 1];
  uint64_t newlines_[kWords + 1];
};

namespace {

// The fast checks below accept only text the full readers in registry_text
// accept too; on anything unusual they answer false and the caller runs the
// full reader from the same place, which then gives the exact fault.

// A quoted string's body; the position after its closing quote or null.
const char* SkipString(const char* p, const char* end, TextStructure& structure) {
  for (;;) {
    p = structure.Next(p);
    if (p >= end || *p == '\n') return nullptr;
    if (*p == '"') return p + 1;
    if (p + 1 >= end || p[1] == '\n') return nullptr;
    if (p[1] == 'x') {
      if (p + 2 >= end || !IsHex(p[2])) return nullptr;
      p += 3;
    } else {
      p += 2;
    }
  }
}

bool FinishLine(regtext::Cursor* c, const char* p) {
  while (p < c->end && (*p == ' ' || *p == '\t' || *p == '\r')) ++p;
  if (p < c->end) {
    if (*p != '\n') return false;
    ++p;
    ++c->line;
  }
  c->p = p;
  return true;
}

#if defined(__SSE2__)
// Which of the sixteen bytes from p on are hex digits, one bit each.
uint32_t HexDigits16(const char* p) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i digit = _mm_sub_epi8(v, _mm_set1_epi8('0'));
  const __m128i letter = _mm_sub_epi8(_mm_or_si128(v, _mm_set1_epi8(0x20)), _mm_set1_epi8('a'));
  const __m128i isHex = _mm_or_si128(_mm_cmpeq_epi8(_mm_min_epu8(digit, _mm_set1_epi8(9)), digit),
                                     _mm_cmpeq_epi8(_mm_min_epu8(letter, _mm_set1_epi8(5)), letter));
  return static_cast<uint16_t>(_mm_movemask_epi8(isHex));
}
#endif

// One to maxDigits (at most 15) hex digits; the position after them or null.
const char* SkipHexNumber(const char* p, const char* end, int maxDigits) {
#if defined(__SSE2__)
  if (end - p >= 16) {
    const int digits = std::countr_zero(~HexDigits16(p));
    return digits == 0 || digits > maxDigits ? nullptr : p + digits;
  }
#endif
  const char* start = p;
  while (p < end && IsHex(*p) && p - start <= maxDigits) ++p;
  return p == start || p - start > maxDigits ? nullptr : p;
}

bool Starts(const char* p, const char* end, std::string_view word) {
  return static_cast<size_t>(end - p) >= word.size() && std::memcmp(p, word.data(), word.size()) == 0;
}

#if defined(__SSE2__)
// How many of the sixteen three-byte items from p on are "xx," (two hex
// digits and a comma), counted from the first: 48 bytes at once.
int HexItems48(const char* p) {
  const __m128i zero = _mm_set1_epi8('0');
  const __m128i nine = _mm_set1_epi8(9);
  const __m128i lower = _mm_set1_epi8(0x20);
  const __m128i a = _mm_set1_epi8('a');
  const __m128i five = _mm_set1_epi8(5);
  const __m128i comma = _mm_set1_epi8(',');
  uint64_t hex = 0, commas = 0;
  for (int i = 0; i < 3; ++i) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
    const __m128i digit = _mm_sub_epi8(v, zero);
    const __m128i letter = _mm_sub_epi8(_mm_or_si128(v, lower), a);
    const __m128i isHex = _mm_or_si128(_mm_cmpeq_epi8(_mm_min_epu8(digit, nine), digit),
                                       _mm_cmpeq_epi8(_mm_min_epu8(letter, five), letter));
    hex |= uint64_t(static_cast<uint16_t>(_mm_movemask_epi8(isHex))) << (16 * i);
    commas |= uint64_t(static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, comma)))) << (16 * i);
  }
  constexpr uint64_t kCommas = 0x924924924924ULL;  // every third byte from the third on
  constexpr uint64_t kDigits = ~kCommas & 0xFFFFFFFFFFFFULL;
  const uint64_t wrong = ((hex & kDigits) ^ kDigits) | ((commas & kCommas) ^ kCommas);
  return wrong ? std::countr_zero(wrong) / 3 : 16;
}
#endif

// Hex data as Wine writes it: "xx," runs, continued lines, a last "xx".
bool SkipHexData(regtext::Cursor* c, const char* p) {
  const char* const end = c->end;
  for (;;) {
#if defined(__SSE2__)
    while (end - p >= 48) {
      const int items = HexItems48(p);
      p += 3 * items;
      if (items < 16) break;
    }
#endif
    while (end - p >= 3 && IsHex(p[0]) && IsHex(p[1]) && p[2] == ',') p += 3;
    if (end - p >= 2 && p[0] == '\\' && p[1] == '\n') {
      p += 2;
      ++c->line;
      while (p < end && *p == ' ') ++p;
      continue;
    }
    if (end - p >= 2 && IsHex(p[0]) && IsHex(p[1])) p += 2;
    if (p < end && *p != '\n') return false;
    return FinishLine(c, p);
  }
}

// One value line (or its continued lines) checked at speed; the cursor
// steps to the next line.
bool SkipValue(regtext::Cursor* c, TextStructure& structure) {
  const char* p = c->p;
  const char* const end = c->end;
  if (*p == '"') {
    if (!(p = SkipString(p + 1, end, structure))) return false;
  } else {
    ++p;  // '@'
  }
  if (p >= end || *p != '=') return false;
  ++p;
  if (p < end && *p == '"') {
    if (!(p = SkipString(p + 1, end, structure))) return false;
    return FinishLine(c, p);
  }
  if (Starts(p, end, "dword:")) {
    if (!(p = SkipHexNumber(p + 6, end, 8))) return false;
    return FinishLine(c, p);
  }
  if (Starts(p, end, "hex:")) return SkipHexData(c, p + 4);
  if (!Starts(p, end, "hex(") || !(p = SkipHexNumber(p + 4, end, 8)) || !Starts(p, end, "):")) return false;
  return SkipHexData(c, p + 2);
}

// The characters a backslash escapes, given the backslashes of a line from
// its start: those after a run of odd length.
uint64_t Escaped(uint64_t backslashes) {
  constexpr uint64_t kEven = 0x5555555555555555ULL;
  const uint64_t starts = backslashes & ~(backslashes << 1);
  const uint64_t evenEnds = (backslashes + (starts & kEven)) & ~backslashes;
  const uint64_t oddEnds = (backslashes + (starts & ~kEven)) & ~backslashes;
  return (evenEnds & ~kEven) | (oddEnds & kEven);
}

// Escapes at the marked positions are sound: \x has a hex digit after it.
bool EscapesSound(const char* p, uint64_t escaped) {
  for (; escaped; escaped &= escaped - 1) {
    const int at = std::countr_zero(escaped);
    if (p[at] == 'x' && !IsHex(p[at + 1])) return false;
  }
  return true;
}

// A value line shorter than 64 bytes, its strings checked from the marks
// alone: the common line costs no look at its bytes one by one. False sends
// the line to SkipValue.
bool SkipShortValue(regtext::Cursor* c, TextStructure& structure) {
  const char* const p = c->p;
  const char* const end = c->end;
  const TextStructure::Window w = structure.At(p);
  if (w.newlines == 0) return false;
  const int length = std::countr_zero(w.newlines);
  const uint64_t inLine = (uint64_t(1) << length) - 1;
  const uint64_t escaped = (w.backslashes & inLine) ? Escaped(w.backslashes & inLine) : 0;
  const uint64_t quotes = w.quotes & inLine & ~escaped;
  // A string from the quote at `open` to the next quote, then nothing but
  // blanks to the line end.
  auto string = [&](int open) {
    const uint64_t after = quotes & ~((uint64_t(2) << open) - 1);
    if (!after) return false;
    const int close = std::countr_zero(after);
    const uint64_t inside = ((uint64_t(1) << close) - 1) & ~((uint64_t(2) << open) - 1);
    return EscapesSound(p, escaped & inside) && FinishLine(c, p + close + 1);
  };
  int at = 1;  // after '@'
  if (*p == '"') {
    const uint64_t rest = quotes & ~uint64_t(1);
    if (!rest) return false;
    const int close = std::countr_zero(rest);
    if (!EscapesSound(p, escaped & ((uint64_t(1) << close) - 1))) return false;
    at = close + 1;
  }
  if (p[at] != '=') return false;
  ++at;
  if (p[at] == '"') return string(at);
  const char* q = p + at;
  if (Starts(q, end, "dword:")) {
    if (!(q = SkipHexNumber(q + 6, end, 8))) return false;
    return FinishLine(c, q);
  }
  if (Starts(q, end, "hex:")) return SkipHexData(c, q + 4);
  if (!Starts(q, end, "hex(") && !Starts(q, end, "str(")) return false;
  const bool text = q[0] == 's';
  if (!(q = SkipHexNumber(q + 4, end, 8)) || !Starts(q, end, "):")) return false;
  q += 2;
  if (!text) return SkipHexData(c, q);
  return q < p + length && *q == '"' && string(static_cast<int>(q - p));
}

// Where the next component separator ("\\" in index form) starts, or n.
size_t NextSeparator(const char* name, size_t n, size_t from) {
  for (size_t i = from; i + 1 < n; ++i)
    if (name[i] == '\\' && name[i + 1] == '\\') return i;
  return n;
}

}  // namespace

RegistryDocument::RegistryDocument(std::string header) : header_(std::move(header)) {
  keys_.emplace_back();  // the root, which always exists and is never indexed
  slots_.assign(16, {0, kNoKey});
  text_ = header_;
  preambleEnd_ = text_.size();
}

bool RegistryDocument::Parse(std::string text, uint32_t* errorLine, std::string* reason) {
  text_ = std::move(text);
  if (text_.empty()) text_ = header_;  // an empty file reads as an empty registry
  previousName_ = "";
  previousLength_ = 0;
  previousChain_.assign(1, kRootKey);
  batchIndex_ = true;
  const bool parsed = ParseLines(errorLine, reason);
  FlushIndex();
  batchIndex_ = false;
  previousChain_ = {};
  separators_ = {};
  return parsed;
}

bool RegistryDocument::ParseLines(uint32_t* errorLine, std::string* reason) {
  const char* const begin = text_.data();
  const char* const end = begin + text_.size();
  regtext::Cursor c{begin, end, 1};
  auto fail = [&](const std::string& why) {
    *errorLine = c.line;
    *reason = why;
    return false;
  };
  TextStructure structure(begin, end);
  {
    const char* lineEnd = structure.LineEnd(c.p);
    std::string_view first(c.p, static_cast<size_t>(lineEnd - c.p));
    if (!first.empty() && first.back() == '\r') first.remove_suffix(1);
    if (first != "WINE REGISTRY Version 2") return fail("en-tête « WINE REGISTRY Version 2 » absent");
    c.p = lineEnd < end ? lineEnd + 1 : end;
    c.line = 2;
  }
  preambleEnd_ = text_.size();
  // Files Wine writes hold about one key line per few hundred bytes, and
  // as many keys again that exist only as parents.
  const size_t expectedKeys = text_.size() / 192 + 16;
  keys_.reserve(expectedKeys);
  sections_.reserve(text_.size() / 256 + 16);
  if (slots_.size() < expectedKeys * 2) {
    slots_.assign(std::bit_ceil(expectedKeys * 2), {0, kNoKey});
    used_ = 0;
    for (uint32_t id = 1; id < keys_.size(); ++id) IndexKey(id);
  }
  while (c.p < end) {
    const char first = *c.p;
    if (first == '[') {
      std::string why;
      if (!ParseKeyLine(&c, structure, &why)) return fail(why);
      continue;
    }
    if (first == '"' || first == '@') {
      if (sections_.empty()) return fail("valeur placée avant la première clé");
      const regtext::Cursor start = c;
      if (SkipShortValue(&c, structure)) continue;
      c = start;
      if (SkipValue(&c, structure)) continue;
      c = start;
      std::string why;
      ++c.p;
      if (first == '"' && !regtext::ReadEscaped(&c, '"', nullptr, &why)) return fail(why);
      if (c.p >= end || *c.p != '=') return fail("« = » attendu après le nom de la valeur");
      ++c.p;
      uint32_t type = 0;
      if (!regtext::ReadValueData(&c, &type, nullptr, &why)) return fail(why);
      continue;
    }
    if (first == '\n') {  // the blank line between keys
      ++c.p;
      ++c.line;
      continue;
    }
    const char* lineEnd = structure.LineEnd(c.p);
    if (first != '#' && first != ';' && !BlankLine(c.p, lineEnd)) return fail("ligne inattendue");
    c.p = lineEnd < end ? lineEnd + 1 : end;
    ++c.line;
  }
  return true;
}

bool RegistryDocument::ParseKeyLine(regtext::Cursor* c, TextStructure& structure, std::string* reason) {
  const char* const begin = text_.data();
  const char* const end = c->end;
  const size_t at = static_cast<size_t>(c->p - begin);
  if (sections_.empty()) preambleEnd_ = at;
  else sections_.back().end = at;
  // The usual name: plain ASCII, components joined by doubled backslashes.
  const char* name = c->p + 1;
  const char* p = name;
  separators_.clear();
  bool plain = true;
  for (;;) {
    p = NameStop(p, end);
    if (p < end && *p == ']') break;
    const bool separator = p + 1 < end && p[0] == '\\' && p[1] == '\\' && p != name &&
                           (separators_.empty() || name + separators_.back() + 2 != p);
    if (!separator) {
      plain = false;
      break;
    }
    separators_.push_back(static_cast<uint32_t>(p - name));
    p += 2;
  }
  if (plain && !separators_.empty() && name + separators_.back() + 2 == p) plain = false;  // a trailing separator
  uint32_t key;
  if (plain) {
    key = AddRawKey(name, static_cast<size_t>(p - name));
    c->p = p + 1;
  } else {
    c->p = name;
    String path;
    if (!regtext::ReadEscaped(c, ']', &path, reason)) return false;
    if (!TidyKeyPath(&path)) {
      *reason = "nom de clé invalide (commence par une barre oblique inverse)";
      return false;
    }
    key = AddKey(path);
  }
  // The rest of the line holds the timestamp; Wine takes the time of
  // loading when it is absent or unreadable, so do we.
  const char* lineEnd = structure.LineEnd(c->p);
  c->p = lineEnd < end ? lineEnd + 1 : end;
  ++c->line;
  const auto id = static_cast<uint32_t>(sections_.size());
  sections_.push_back(Section{key, kNone, at, static_cast<size_t>(c->p - begin), text_.size(), c->line});
  Key& k = keys_[key];
  if (k.lastSection == kNone) k.firstSection = id;
  else sections_[k.lastSection].next = id;
  k.lastSection = id;
  return true;
}

uint32_t RegistryDocument::Lookup(uint32_t parent, const char* component, size_t length, uint64_t hash) const {
  for (size_t i = 0; i < batched_; ++i) {
    const Key& key = keys_[batch_[i]];
    if (key.hash == hash && key.parent == parent &&
        NamesEqual(key.name + key.componentOffset, key.nameLength - key.componentOffset, component, length))
      return batch_[i];
  }
  const size_t mask = slots_.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    const auto [low, id] = slots_[i];
    if (id == kNoKey) return kNoKey;
    if (low == static_cast<uint32_t>(hash)) {
      const Key& key = keys_[id];
      if (key.hash == hash && key.parent == parent && !key.deleted &&
          NamesEqual(key.name + key.componentOffset, key.nameLength - key.componentOffset, component, length))
        return id;
    }
  }
}

void RegistryDocument::IndexKey(uint32_t id) {
  if ((used_ + 1) * 2 > slots_.size()) {
    std::vector<std::pair<uint32_t, uint32_t>> old(slots_.size() * 2, {0, kNoKey});
    old.swap(slots_);
    used_ = 0;
    for (const auto& slot : old)
      if (slot.second != kNoKey) IndexKey(slot.second);
  }
  const size_t mask = slots_.size() - 1;
  const uint64_t hash = keys_[id].hash;
  size_t i = hash & mask;
  while (slots_[i].second != kNoKey) i = (i + 1) & mask;
  slots_[i] = {static_cast<uint32_t>(hash), id};
  ++used_;
}

void RegistryDocument::FlushIndex() {
  const size_t mask = slots_.size() - 1;
  for (size_t i = 0; i < batched_; ++i) __builtin_prefetch(&slots_[keys_[batch_[i]].hash & mask], 1);
  for (size_t i = 0; i < batched_; ++i) IndexKey(batch_[i]);
  batched_ = 0;
}

uint32_t RegistryDocument::InsertKey(const char* name, size_t length, size_t componentOffset, bool rawName,
                                     uint64_t hash, uint32_t parent) {
  const auto id = static_cast<uint32_t>(keys_.size());
  Key& key = keys_.emplace_back();
  key.name = name;
  key.nameLength = static_cast<uint32_t>(length);
  key.componentOffset = static_cast<uint32_t>(componentOffset);
  key.rawName = rawName;
  key.hash = hash;
  key.parent = parent;
  Key& up = keys_[parent];
  ++up.childCount;
  if (up.lastChild != kNoKey) {
    const Key& last = keys_[up.lastChild];
    if (!SpeltBefore(last.name + last.componentOffset, last.nameLength - last.componentOffset, name + componentOffset,
                     length - componentOffset))
      up.childrenInOrder = false;
  }
  up.lastChild = id;
  if (childrenReady_) {
    children_.emplace_back();
    children_[parent].push_back(id);
  }
  if (!batchIndex_) {
    IndexKey(id);
  } else {
    batch_[batched_++] = id;
    if (batched_ == kIndexBatch) FlushIndex();
  }
  return id;
}

// True when a child of `parent` named so cannot exist yet: the children
// came in order and the name comes after the last. Files list keys sorted,
// so a new key mostly needs no look-up at all.
bool RegistryDocument::AfterLastChild(uint32_t parent, const char* component, size_t length) const {
  const Key& up = keys_[parent];
  if (up.lastChild == kNoKey) return up.childCount == 0;
  if (!up.childrenInOrder) return false;
  const Key& last = keys_[up.lastChild];
  return SpeltBefore(last.name + last.componentOffset, last.nameLength - last.componentOffset, component, length);
}

const char* RegistryDocument::Own(std::string name) { return owned_.emplace_back(std::move(name)).data(); }

// A plain key line, its separators in separators_. Files list keys in tree
// order, so the line mostly shares its first components with the line
// before: those keys are taken from that line's chain without hashing, and
// only the components after them are looked up (or added).
uint32_t RegistryDocument::AddRawKey(const char* name, size_t length) {
  if (length == 0) return kRootKey;  // "[]" spells the root
  const size_t depth = separators_.size() + 1;
  auto boundary = [&](size_t d) { return d == depth ? length : size_t(separators_[d - 1]); };
  const size_t same = CommonPrefix(name, length, previousName_, previousLength_);
  size_t shared = 0;
  while (shared < depth && shared + 1 < previousChain_.size()) {
    const size_t b = boundary(shared + 1);
    if (b > same || (b != previousLength_ && previousName_[b] != '\\')) break;
    ++shared;
  }
  previousChain_.resize(shared + 1);
  uint32_t parent = previousChain_.back();
  bool added = false;  // a key just added has no subkeys yet
  for (size_t d = shared + 1; d <= depth; ++d) {
    const size_t start = d == 1 ? 0 : separators_[d - 2] + 2;
    const size_t stop = boundary(d);
    const uint64_t hash = ComponentHash(parent, name + start, stop - start);
    uint32_t id = added || AfterLastChild(parent, name + start, stop - start)
                      ? kNoKey
                      : Lookup(parent, name + start, stop - start, hash);
    if (id == kNoKey) {
      id = InsertKey(name, stop, start, true, hash, parent);
      added = true;
    }
    previousChain_.push_back(id);
    parent = id;
  }
  previousName_ = name;
  previousLength_ = length;
  return parent;
}

uint32_t RegistryDocument::AddKey(std::u16string_view path) {
  const uint32_t found = Find(path);
  if (found != kNoKey) return found;
  // Parse() takes its shortcut from the last plain key line only.
  previousChain_.assign(1, kRootKey);
  previousLength_ = 0;
  std::string spelt = KeyName(path);
  const size_t length = spelt.size();
  const char* name = Own(std::move(spelt));
  uint32_t parent = kRootKey;
  for (size_t start = 0, pathStart = 0;;) {
    const size_t stop = NextSeparator(name, length, start);
    const size_t pathStop = std::min(path.find(u'\\', pathStart), path.size());
    const uint64_t hash = ComponentHash(parent, name + start, stop - start);
    uint32_t id = Lookup(parent, name + start, stop - start, hash);
    if (id == kNoKey) {
      id = InsertKey(name, stop, start, false, hash, parent);
      paths_.emplace(id, String(path.substr(0, pathStop)));
    }
    parent = id;
    if (stop == length) return parent;
    start = stop + 2;
    pathStart = pathStop + 1;
  }
}

uint32_t RegistryDocument::Find(std::u16string_view path) const {
  if (path.empty()) return keys_[kRootKey].deleted ? kNoKey : kRootKey;
  const std::string name = KeyName(path);
  uint32_t id = kRootKey;
  for (size_t start = 0;;) {
    const size_t stop = NextSeparator(name.data(), name.size(), start);
    id = Lookup(id, name.data() + start, stop - start, ComponentHash(id, name.data() + start, stop - start));
    if (id == kNoKey || stop == name.size()) return id;
    start = stop + 2;
  }
}

const String& RegistryDocument::Path(uint32_t id) {
  auto found = paths_.find(id);
  if (found != paths_.end()) return found->second;
  // Only plain file names are kept without their path: undo the doubled
  // separators.
  const Key& key = keys_[id];
  String path;
  path.reserve(key.nameLength);
  for (uint32_t i = 0; i < key.nameLength; ++i) {
    path.push_back(static_cast<char16_t>(static_cast<unsigned char>(key.name[i])));
    if (key.name[i] == '\\') ++i;
  }
  return paths_.emplace(id, std::move(path)).first->second;
}

RegistryDocument::Values& RegistryDocument::LoadValues(uint32_t id) {
  if (keys_[id].values) return *keys_[id].values;
  Values& values = values_.emplace_back();
  keys_[id].values = &values;
  const char* const end = text_.data() + text_.size();
  for (uint32_t s = keys_[id].firstSection; s != kNone; s = sections_[s].next) {
    const Section& section = sections_[s];
    const char* const sectionEnd = text_.data() + section.end;
    regtext::Cursor c{text_.data() + section.bodyBegin, sectionEnd, section.bodyLine};
    while (c.p < sectionEnd) {
      const char* lineEnd = LineEnd(c.p, end);
      if (*c.p != '"' && *c.p != '@') {
        std::string_view line(c.p, static_cast<size_t>(lineEnd - c.p));
        // The timestamp is rewritten with the key; everything else stays.
        if (!line.empty() && (line[0] == '#' || line[0] == ';') && line.substr(0, 6) != "#time=") values.meta.push_back(line);
        c.p = lineEnd < end ? lineEnd + 1 : end;
        ++c.line;
        continue;
      }
      const char* start = c.p;
      RegistryEntry entry;
      ++c.p;
      if (*start == '"') regtext::ReadEscaped(&c, '"', &entry.name, nullptr);
      ++c.p;  // '='
      regtext::ReadValueData(&c, &entry.type, &entry.data, nullptr);
      entry.raw = std::string_view(start, static_cast<size_t>(c.p - start));
      if (!entry.raw.empty() && entry.raw.back() == '\n') entry.raw.remove_suffix(1);
      // A later section of the same key overrides, as Wine's loader does.
      const int existing = FindEntry(values, entry.name);
      if (existing >= 0) {
        values.entries[static_cast<size_t>(existing)] = std::move(entry);
      } else {
        values.entries.push_back(std::move(entry));
        const auto at = static_cast<uint32_t>(values.entries.size() - 1);
        if (!values.index.empty()) values.index.emplace(values.entries[at].name, at);
        else if (values.entries.size() > kScanLimit) ReindexValues(values);
      }
    }
  }
  return values;
}

void RegistryDocument::ReindexValues(Values& values) {
  values.index.clear();
  if (values.entries.size() <= kScanLimit) return;
  for (size_t i = 0; i < values.entries.size(); ++i) values.index.emplace(values.entries[i].name, static_cast<uint32_t>(i));
}

int RegistryDocument::FindEntry(Values& values, std::u16string_view name) const {
  if (!values.index.empty()) {
    auto found = values.index.find(name);
    return found == values.index.end() ? -1 : static_cast<int>(found->second);
  }
  // A few names: comparing their lengths first rules most out for less
  // than hashing the name would cost.
  for (size_t i = 0; i < values.entries.size(); ++i) {
    const String& entry = values.entries[i].name;
    if (entry.size() == name.size() && (std::u16string_view(entry) == name || FoldEqual()(entry, name)))
      return static_cast<int>(i);
  }
  return -1;
}

const RegistryEntry* RegistryDocument::FindValue(uint32_t id, std::u16string_view name) {
  Values& values = keys_[id].values ? *keys_[id].values : LoadValues(id);
  const int found = FindEntry(values, name);
  return found < 0 ? nullptr : &values.entries[static_cast<size_t>(found)];
}

std::vector<String> RegistryDocument::ValueNames(uint32_t id) {
  std::vector<String> names;
  for (const auto& value : LoadValues(id).entries) names.push_back(value.name);
  return names;
}

std::vector<String> RegistryDocument::SubkeyNames(uint32_t id) {
  if (!childrenReady_) {
    children_.assign(keys_.size(), {});
    for (uint32_t k = 1; k < keys_.size(); ++k)
      if (!keys_[k].deleted) children_[keys_[k].parent].push_back(k);
    childrenReady_ = true;
  }
  std::vector<String> names;
  for (uint32_t child : children_[id]) {
    const String& path = Path(child);
    const size_t slash = path.rfind(u'\\');
    names.push_back(slash == String::npos ? path : path.substr(slash + 1));
  }
  std::sort(names.begin(), names.end(), [](const String& a, const String& b) { return NameLess(a, b); });
  return names;
}

void RegistryDocument::Touch(uint32_t id) {
  LoadValues(id);
  Key& key = keys_[id];
  if (!key.dirty && key.firstSection == kNone) created_.push_back(id);
  key.dirty = true;
  changed_ = true;
}

uint32_t RegistryDocument::Create(std::u16string_view path) {
  uint32_t existing = Find(path);
  if (existing != kNoKey) return existing;
  // Only the new leaf needs a section: Wine writes a key that has subkeys
  // only when it also has values, so new parents stay implicit.
  size_t known = path.size();
  uint32_t parent = kNoKey;
  while (parent == kNoKey) {
    known = path.rfind(u'\\', known - 1);
    if (known == std::u16string_view::npos) {
      parent = kRootKey;
      break;
    }
    parent = Find(path.substr(0, known));
  }
  const uint32_t leaf = AddKey(path);
  Touch(leaf);
  if (keys_[parent].dirty || keys_[parent].firstSection != kNone) Touch(parent);
  return leaf;
}

void RegistryDocument::SetValue(uint32_t id, std::u16string_view name, uint32_t type, std::string data) {
  Values& values = LoadValues(id);
  const int found = FindEntry(values, name);
  if (found >= 0) {
    RegistryEntry& entry = values.entries[static_cast<size_t>(found)];
    entry.type = type;
    entry.data = std::move(data);
    entry.raw = {};
  } else {
    RegistryEntry entry{String(name), type, std::move(data), {}};
    // Wine keeps values sorted by name; a new one goes to its place.
    auto at = std::find_if(values.entries.begin(), values.entries.end(),
                           [&](const RegistryEntry& e) { return NameLess(name, e.name); });
    values.entries.insert(at, std::move(entry));
    ReindexValues(values);
  }
  Touch(id);
}

bool RegistryDocument::DeleteValue(uint32_t id, std::u16string_view name) {
  Values& values = LoadValues(id);
  const int found = FindEntry(values, name);
  if (found < 0) return false;
  values.entries.erase(values.entries.begin() + found);
  ReindexValues(values);
  Touch(id);
  return true;
}

void RegistryDocument::DeleteKey(uint32_t id) {
  keys_[id].deleted = true;  // the index skips deleted keys
  changed_ = true;
  const uint32_t parentId = keys_[id].parent;
  Key& parent = keys_[parentId];
  --parent.childCount;
  if (childrenReady_) {
    auto& siblings = children_[parentId];
    siblings.erase(std::find(siblings.begin(), siblings.end(), id));
  }
  // A parent that existed only through this key must now be written to
  // survive, and Wine stamps the parent of a deleted key anyway.
  // The root is written only when the file already spells it ("[]").
  if (parent.firstSection != kNone || (parent.childCount == 0 && parentId != kRootKey)) Touch(parentId);
}

void RegistryDocument::AppendKey(uint32_t id, FileTime now, std::string* out) {
  regtext::AppendKeyHeader(Path(id), now, out);
  const Values& values = LoadValues(id);
  for (std::string_view line : values.meta) {
    out->append(line);
    out->push_back('\n');
  }
  for (const RegistryEntry& value : values.entries) {
    if (value.raw.empty()) {
      regtext::AppendValue(value.name, value.type, value.data, out);
    } else {
      out->append(value.raw);
      out->push_back('\n');
    }
  }
}

std::string RegistryDocument::Serialize(FileTime now) {
  // The keys to write in order: each kept key at its first section, new ones
  // slotted in Wine's order.
  struct Unit {
    uint32_t key;
    uint32_t section;  // UINT32_MAX for a key written anew
  };
  std::vector<Unit> units;
  units.reserve(sections_.size() + created_.size());
  for (uint32_t s = 0; s < sections_.size(); ++s) {
    const Key& key = keys_[sections_[s].key];
    if (key.deleted) continue;
    if (key.dirty) {
      if (key.firstSection == s) units.push_back({sections_[s].key, UINT32_MAX});
    } else {
      units.push_back({sections_[s].key, s});
    }
  }
  for (uint32_t id : created_) {
    if (keys_[id].deleted) continue;
    const String& path = Path(id);
    auto at = std::find_if(units.begin(), units.end(), [&](const Unit& u) { return TreeLess(path, Path(u.key)); });
    units.insert(at, Unit{id, UINT32_MAX});
  }
  std::string out;
  out.reserve(text_.size() + 4096);
  out.append(text_, 0, preambleEnd_);
  bool previousRewritten = sections_.empty();
  for (const Unit& unit : units) {
    const bool rewritten = unit.section == UINT32_MAX;
    if (rewritten || previousRewritten) {
      // Keys are separated by a blank line; kept text already carries it.
      if (!out.empty() && out.back() != '\n') out.push_back('\n');
      if (out.size() < 2 || out.compare(out.size() - 2, 2, "\n\n") != 0) out.push_back('\n');
    }
    if (rewritten) {
      AppendKey(unit.key, now, &out);
    } else {
      const Section& s = sections_[unit.section];
      out.append(text_, s.begin, s.end - s.begin);
    }
    previousRewritten = rewritten;
  }
  return out;
}

}  // namespace platform::prefix

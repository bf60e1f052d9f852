#include "platform/prefix/registry_document.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

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


// Key names in index form: each character folded, components joined by two
// backslashes, ASCII as itself and every other UTF-16 unit in UTF-8's
// encoding. The file's own spelling of the usual names (plain ASCII, single
// components joined by doubled backslashes) is that form once its letters
// are folded, so such key lines are indexed straight from the file's bytes.
// Compared byte by byte with the backslash below every other byte and
// letters folded, names in this form sort in Wine's key order: a parent
// right before its subkeys, siblings sorted ignoring case.
namespace {

// The separator below every character, a NUL among them.
unsigned Rank(char c) {
  const unsigned b = static_cast<unsigned char>(c);
  if (b == '\\') return 0;
  return (b - 'A' < 26u ? b + 32 : b) + 1;
}

uint64_t Load8(const char* p) {
  uint64_t w;
  std::memcpy(&w, p, 8);
  return w;
}

int CompareNames(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  size_t i = 0;
  // Names share long starts: eight bytes a step to the first that differs.
  for (; i + 8 <= n; i += 8) {
    if (const uint64_t diff = Load8(a.data() + i) ^ Load8(b.data() + i)) {
      if constexpr (std::endian::native == std::endian::little) i += static_cast<size_t>(std::countr_zero(diff)) >> 3;
      break;
    }
  }
  for (; i < n; ++i) {
    if (a[i] == b[i]) continue;
    const unsigned x = Rank(a[i]), y = Rank(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

std::string Folded(std::string_view name) {
  std::string out(name);
  for (char& c : out)
    if (static_cast<unsigned>(static_cast<unsigned char>(c)) - 'A' < 26u) c = static_cast<char>(c + 32);
  return out;
}

std::string KeyName(std::u16string_view path) {
  std::string out;
  out.reserve(path.size() + 8);
  for (char16_t c : path) {
    c = FoldCase(c);
    if (c == u'\\') {
      out.append("\\\\");
    } else if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

// How many bytes from `name` on spell the same as `previous`, at most
// up to `end`.
size_t SharedStart(const char* name, const char* end, std::string_view previous) {
  const size_t limit = std::min(previous.size(), static_cast<size_t>(end - name));
  size_t i = 0;
  for (; i + 8 <= limit; i += 8) {
    if (const uint64_t diff = Load8(name + i) ^ Load8(previous.data() + i)) return i + (std::countr_zero(diff) >> 3);
  }
  while (i < limit && name[i] == previous[i]) ++i;
  return i;
}

// The closing bracket of the key name from `name` on in a text that ends at
// `end`, when the name is plain: printable ASCII, and backslashes only in
// pairs between non-empty components. Null for any other name, which the
// full reader then reads. The bytes before `from` are known to be plain
// already. Eight bytes a step with one branch a step: key names are most of
// what loading looks at byte by byte, and a branch taken at every separator
// would cost more than the whole test.
const char* PlainNameEnd(const char* name, const char* from, const char* end) {
  constexpr uint64_t kOnes = 0x0101010101010101ULL;
  constexpr uint64_t kHigh = 0x8080808080808080ULL;
  // The high bit of the bytes of v that are zero. Exact up to the first
  // one; a byte right after it may be marked too when it is 1.
  auto zero = [](uint64_t v) { return (v - kOnes) & ~v & kHigh; };
  static_assert(std::endian::native == std::endian::little, "bytes are taken as the low end of a word first");
  if (from == name && name < end && *name == '\\') return nullptr;
  uint64_t runs = 0, starts = 0;  // of the word before: its last byte is the top one
  if (from > name && from[-1] == '\\') {
    runs = uint64_t(1) << 63;
    if (from - 1 == name || from[-2] != '\\') starts = runs;
  }
  for (const char* p = from;; p += 8) {
    uint64_t w = '\n' * kOnes;  // past the text: the line ends
    if (end - p >= 8) w = Load8(p);
    else if (p < end) std::memcpy(&w, p, static_cast<size_t>(end - p));
    // Only bytes before the first ']' count. Marks set in error by a
    // borrow or a carry are above a true mark (or on a ']' right after a
    // backslash, which is past the name): every test below is exact where
    // it counts.
    const uint64_t close = zero(w ^ (']' * kOnes));
    const uint64_t before = close ? (close & (0 - close)) - 1 : ~uint64_t(0);
    // Outside printable ASCII: below 0x20, or 0x7F and up.
    uint64_t faults = (((w - 0x20 * kOnes) & ~w) | w | (w + kOnes)) & kHigh & before;
    // A backslash must start a run or follow a start, and a start must be
    // followed by one: runs of exactly two.
    const uint64_t slash = zero(w ^ ('\\' * kOnes)) & before;
    const uint64_t start = slash & ~((slash << 8) | (runs >> 56));
    const uint64_t afterStart = (start << 8) | (starts >> 56);
    faults |= (slash & ~(start | afterStart)) | (afterStart & ~slash);
    if (faults) return nullptr;
    if (close) {
      const char* bracket = p + (std::countr_zero(close) >> 3);
      return bracket == name || bracket[-1] != '\\' ? bracket : nullptr;  // no trailing separator
    }
    runs = slash;
    starts = start;
  }
}

// The next line after p that starts with '[', or end. A '[' inside a line
// is rare: value names and data seldom hold one.
const char* NextKeyLine(const char* p, const char* end) {
  while (p < end) {
    const void* bracket = std::memchr(p, '[', static_cast<size_t>(end - p));
    if (!bracket) return end;
    p = static_cast<const char*>(bracket);
    if (p[-1] == '\n') return p;
    ++p;
  }
  return end;
}

}  // namespace

RegistryDocument::RegistryDocument(std::string header) : header_(std::move(header)) {
  keys_.emplace_back();  // the root, which always exists
  ids_.emplace(std::string(), kRootKey);
  text_ = header_;
  preambleEnd_ = text_.size();
  checkedAll_ = true;
}

bool RegistryDocument::Parse(std::string text, uint32_t* errorLine, std::string* reason) {
  ownedText_ = std::move(text);
  text_ = ownedText_;
  return IndexKeyLines(errorLine, reason) && CheckAll(errorLine, reason);
}

bool RegistryDocument::Load(std::unique_ptr<MappedFile> file, uint32_t* errorLine, std::string* reason) {
  file_ = std::move(file);
  text_ = file_->bytes();
  return IndexKeyLines(errorLine, reason);
}

uint32_t RegistryDocument::LineAt(const char* p) const {
  return 1 + static_cast<uint32_t>(std::count(text_.data(), p, '\n'));
}

// Key lines in Wine's key order; lines of the same key in file order.
auto RegistryDocument::LineOrder() const {
  return [this](const KeyLine& a, const KeyLine& b) {
    const int order = CompareNames(LineName(a), LineName(b));
    return order < 0 || (order == 0 && a.at < b.at);
  };
}

bool RegistryDocument::IndexKeyLines(uint32_t* errorLine, std::string* reason) {
  if (text_.empty()) text_ = header_;  // an empty file reads as an empty registry
  checkedAll_ = false;
  const char* const begin = text_.data();
  const char* const end = begin + text_.size();
  auto fail = [&](uint32_t line, const char* why) {
    *errorLine = line;
    *reason = why;
    return false;
  };
  if (text_.size() >= kLargestFile) return fail(1, "fichier trop volumineux");
  const char* lineEnd = LineEnd(begin, end);
  std::string_view first(begin, static_cast<size_t>(lineEnd - begin));
  if (!first.empty() && first.back() == '\r') first.remove_suffix(1);
  if (first != "WINE REGISTRY Version 2") return fail(1, "en-tête « WINE REGISTRY Version 2 » absent");
  const char* const afterHeader = lineEnd < end ? lineEnd + 1 : end;
  const char* p = NextKeyLine(lineEnd, end);
  if (!CheckPreamble(afterHeader, p, errorLine, reason)) return false;
  preambleEnd_ = static_cast<size_t>(p - begin);
  // Files Wine writes hold about one key line per few hundred bytes.
  lines_.reserve(text_.size() / 128 + 16);
  if (!IndexInFileOrder(p)) {
    lines_.clear();
    if (!IndexSorting(p, errorLine, reason)) return false;
  }
  // "[]" spells the root; such lines sort first.
  Key& root = keys_[kRootKey];
  while (root.lineCount < lines_.size() && LineName(lines_[root.lineCount]).empty()) ++root.lineCount;
  if (root.lineCount) root.firstLine = 0;
  return true;
}

namespace {

// The rank of the byte two key names in Wine's order first differ at: the
// closing bracket (the end of the shorter name) first, then as Rank().
unsigned EndRank(char c) { return c == ']' ? 0 : Rank(c) + 1; }

// The first place from `i` on where the bytes from `a` and from `b` differ,
// or `limit`.
size_t Mismatch(const char* a, const char* b, size_t i, size_t limit) {
  for (; i + 8 <= limit; i += 8)
    if (const uint64_t diff = Load8(a + i) ^ Load8(b + i)) return i + (static_cast<size_t>(std::countr_zero(diff)) >> 3);
  while (i < limit && a[i] == b[i]) ++i;
  return i;
}

// True when the byte at `i` follows an odd run of backslashes: the letter of
// an escape sequence (\x41 is not \X41), not the first letter of a name
// after a separator.
bool EscapeLetter(const char* name, size_t i) {
  size_t run = 0;
  while (run < i && name[i - 1 - run] == '\\') ++run;
  return run % 2 == 1;
}

// Where the text from `a` and the text from `b` on first differ other than
// in the case of a letter (unless it is the letter of an escape sequence);
// `b` is the later in a text that ends at `end`. False when `b` runs into
// the end first. Names that are the same are told apart past their end,
// anywhere, which is enough: the same names are in order whatever follows
// them. Eight bytes a step: adjacent names share most of their length.
bool FirstDifference(const char* a, const char* b, const char* end, size_t* at) {
  const size_t limit = static_cast<size_t>(end - b);
  for (size_t i = 0;; ++i) {
    i = Mismatch(a, b, i, limit);
    if (i == limit) return false;
    const bool caseOnly = (a[i] ^ b[i]) == 0x20 && unsigned((a[i] | 0x20) - 'a') < 26u && !EscapeLetter(b, i);
    if (!caseOnly) {
      *at = i;
      return true;
    }
  }
}

// True when two names whose bytes before `at` are the same (but for the
// case of letters that are not escape letters) order, read in full, as
// their bytes at `at` do. That holds unless something that reads several
// bytes as one starts before `at` and runs into it or past it, or starts at
// `at`: an escape sequence (a backslash not in a pair; at most six bytes),
// a character of several bytes, or a run of backslashes other than one
// separator. Then the bytes before `at` read alike in both names, and what
// each holds at `at` is one plain character, one separator, or its end.
bool CleanBoundary(const char* a, const char* b, size_t at, const char* end) {
  const size_t limit = static_cast<size_t>(end - b);
  const bool slashBefore = at > 0 && b[at - 1] == '\\';
  for (const char* name : {a, b}) {
    const auto c = static_cast<unsigned char>(name[at]);
    if (c == '\\') {
      // A separator starting here: two backslashes. The name ends its
      // component here and orders as the separator does, whatever follows
      // (a name, an escape, another separator); only a name that ends
      // right after it (a trailing separator) is left to the full reader.
      if (at == 0 || slashBefore || at + 2 >= limit || name[at + 1] != '\\' ||
          name[at + 2] == ']')
        return false;
    } else if (c != ']' && (c < 0x20 || c >= 0x7F)) {
      return false;
    }
  }
  if (at == 0) return true;
  constexpr uint64_t kOnes = 0x0101010101010101ULL;
  constexpr uint64_t kHigh = 0x8080808080808080ULL;
  static_assert(std::endian::native == std::endian::little, "the last byte before `at` is the word's top byte");
  if (at >= 8) {
    // The usual case, eight bytes at once: ASCII, and no backslash or a
    // run of them that ends in these bytes, its length even.
    const uint64_t before = Load8(b + at - 8);
    if (!(before & kHigh)) {
      const uint64_t x = before ^ ('\\' * kOnes);
      const uint64_t slashes = ~(((x & ~kHigh) + ~kHigh) | x) & kHigh;
      if (!slashes) return true;
      const int last = (63 - std::countl_zero(slashes)) >> 3;  // the byte of the last backslash
      const int run = std::countl_zero(~(slashes << (8 * (7 - last))) & kHigh) >> 3;
      if (run <= last) return run % 2 == 0;
    }
  }
  for (size_t j = at; j > 0 && at - j < 4; --j)
    if (static_cast<unsigned char>(b[j - 1]) >= 0x80) return false;
  size_t j = at;  // past the last backslash among the eight bytes before `at`
  while (j > 0 && at - j < 8 && b[j - 1] != '\\') --j;
  if (j == 0 || at - j == 8 || b[j - 1] != '\\') return true;
  size_t run = 0;
  while (j > 0 && b[j - 1] == '\\') --j, ++run;
  return run % 2 == 0;
}

}  // namespace

// The key lines of a file in Wine's key order, in file order. Each line is
// compared with the one before up to the first byte where they differ
// (see CleanBoundary): the two names then sort, read in full, as their
// bytes there do, so the rest of each name can wait until a lookup reads
// it. False, lines_ half made, at the first line out of order or whose
// order cannot be told from its bytes; the caller then reads every name in
// full.
bool RegistryDocument::IndexInFileOrder(const char* p) {
  const char* const begin = text_.data();
  const char* const end = begin + text_.size();
  const char* previous = nullptr;  // the name of the line before
  while (p < end) {
    const char* name = p + 1;
    size_t differ = 0;
    if (previous) {
      if (!FirstDifference(previous, name, end, &differ) || !CleanBoundary(previous, name, differ, end)) return false;
      const unsigned before = EndRank(previous[differ]), after = EndRank(name[differ]);
      if (before > after || (before == after && previous[differ] != name[differ])) return false;
    }
    lines_.push_back({static_cast<uint32_t>(p - begin), kUnread});
    previous = name;
    p = NextKeyLine(name, end);
  }
  return true;
}

// Any file: every key line read in full and kept in order as it comes.
bool RegistryDocument::IndexSorting(const char* p, uint32_t* errorLine, std::string* reason) {
  const char* const end = text_.data() + text_.size();
  // Lines are kept in order as they come, while their names are still in
  // the processor's cache. A line out of place mostly belongs a few lines
  // back and goes there at once. Lines that belong farther back (numbered
  // names: "Zone 10" after "Zone 9") are set aside, in order among
  // themselves mostly, and merged in at the end.
  std::string_view previous;  // the name of the line before when it was plain
  bool previousIsLast = true;   // that line is the last of lines_ still
  std::vector<KeyLine> farBack;
  while (p < end) {
    bool outOfOrder = false;
    const char* after = AddKeyLine(p, previousIsLast ? previous : std::string_view(), &outOfOrder, errorLine, reason);
    if (!after) return false;
    previous = lines_.back().length & kOwnedName ? std::string_view() : LineName(lines_.back());
    previousIsLast = !outOfOrder;
    if (outOfOrder && !MoveLastInOrder()) {
      farBack.push_back(lines_.back());
      lines_.pop_back();
    }
    p = NextKeyLine(after, end);
  }
  if (!farBack.empty()) {
    SortRuns(&farBack);
    const auto middle = static_cast<std::ptrdiff_t>(lines_.size());
    lines_.insert(lines_.end(), farBack.begin(), farBack.end());
    std::inplace_merge(lines_.begin(), lines_.begin() + middle, lines_.end(), LineOrder());
  }
  return true;
}

// The whole name of a key line whose name was checked only in part: plain,
// or spelt anew in ownedNames_. A damaged name fails with its line.
bool RegistryDocument::ReadKeyLine(KeyLine& line, uint32_t* errorLine, std::string* reason) const {
  const char* const end = text_.data() + text_.size();
  const char* name = text_.data() + line.at + 1;
  if (const char* close = PlainNameEnd(name, name, end)) {
    line.length = static_cast<uint32_t>(close - name);
    return true;
  }
  regtext::Cursor c{name, end, 0};
  String path;
  const bool read = regtext::ReadEscaped(&c, ']', &path, reason);
  if (!read || !TidyKeyPath(&path)) {
    if (read) *reason = "nom de clé invalide (commence par une barre oblique inverse)";
    *errorLine = LineAt(name);
    // Somewhere to stand for lookups until the document is read again.
    line.length = static_cast<uint32_t>(LineEnd(name, end) - name);
    return false;
  }
  line.length = kOwnedName | static_cast<uint32_t>(ownedNames_.size());
  ownedNames_.push_back({KeyName(path), std::move(path)});
  return true;
}

bool RegistryDocument::CheckKeyLines(uint32_t* errorLine, std::string* reason) {
  if (keyLineDamaged()) {
    *errorLine = lateDamageLine_;
    *reason = lateDamage_;
    return false;
  }
  // In file order: lines still unread were kept in it.
  for (KeyLine& line : lines_)
    if (line.length == kUnread && !ReadKeyLine(line, errorLine, reason)) return false;
  return true;
}

// The lines between the header and the first key: comments and blank lines.
bool RegistryDocument::CheckPreamble(const char* p, const char* to, uint32_t* errorLine, std::string* reason) const {
  while (p < to) {
    const char* lineEnd = LineEnd(p, to);
    const char* why = nullptr;
    if (*p == '"' || *p == '@') why = "valeur placée avant la première clé";
    else if (*p != '#' && *p != ';' && !BlankLine(p, lineEnd)) why = "ligne inattendue";
    if (why) {
      *errorLine = LineAt(p);
      *reason = why;
      return false;
    }
    p = lineEnd < to ? lineEnd + 1 : to;
  }
  return true;
}

// The key line at `at` at the end of lines_; `outOfOrder` when it sorts
// before the line that was last. The position after its name, or null.
// `previous`, when not empty, is the plain name of the line that was last:
// files list keys in tree order, so most of a name is spelt as in the line
// before and was checked there.
const char* RegistryDocument::AddKeyLine(const char* at, std::string_view previous, bool* outOfOrder,
                                         uint32_t* errorLine, std::string* reason) {
  const char* const begin = text_.data();
  const char* const end = begin + text_.size();
  const char* name = at + 1;
  const size_t shared = SharedStart(name, end, previous);
  if (const char* close = PlainNameEnd(name, name + shared, end)) {
    const std::string_view spelt(name, static_cast<size_t>(close - name));
    if (!lines_.empty()) {
      // Only past what the two names share.
      const std::string_view last = LineName(lines_.back());
      const std::string_view a(last.data() + shared, last.size() - shared), b(spelt.data() + shared, spelt.size() - shared);
      *outOfOrder = CompareNames(a, b) > 0;
    }
    lines_.push_back({static_cast<uint32_t>(at - begin), static_cast<uint32_t>(spelt.size())});
    return close + 1;
  }
  regtext::Cursor c{name, end, 0};
  String path;
  if (!regtext::ReadEscaped(&c, ']', &path, reason)) {
    *errorLine = LineAt(at);
    return nullptr;
  }
  if (!TidyKeyPath(&path)) {
    *errorLine = LineAt(at);
    *reason = "nom de clé invalide (commence par une barre oblique inverse)";
    return nullptr;
  }
  const auto owned = static_cast<uint32_t>(ownedNames_.size());
  ownedNames_.push_back({KeyName(path), std::move(path)});
  *outOfOrder = !lines_.empty() && CompareNames(LineName(lines_.back()), ownedNames_.back().name) > 0;
  lines_.push_back({static_cast<uint32_t>(at - begin), kOwnedName | owned});
  return c.p;
}

std::string_view RegistryDocument::LineName(const KeyLine& line) const {
  if (line.length == kUnread) {
    // lines_ is mutable: reading a name in full changes no answer.
    uint32_t damagedAt = 0;
    std::string why;
    if (!ReadKeyLine(const_cast<KeyLine&>(line), &damagedAt, &why) && !keyLineDamaged()) {
      lateDamageLine_ = damagedAt;
      lateDamage_ = std::move(why);
    }
  }
  if (line.length & kOwnedName) return ownedNames_[line.length & ~kOwnedName].name;
  return text_.substr(line.at + 1, line.length);
}

String RegistryDocument::LinePath(const KeyLine& line) const {
  if (line.length & kOwnedName) return ownedNames_[line.length & ~kOwnedName].path;
  // A plain name: ASCII with doubled separators.
  const std::string_view name = LineName(line);
  String path;
  path.reserve(name.size());
  for (size_t i = 0; i < name.size(); ++i) {
    path.push_back(static_cast<char16_t>(static_cast<unsigned char>(name[i])));
    if (name[i] == '\\') ++i;
  }
  return path;
}

// True when the line names a key below `name`.
bool RegistryDocument::Below(const KeyLine& line, std::string_view name) const {
  const std::string_view spelt = LineName(line);
  if (name.empty()) return !spelt.empty();
  return spelt.size() > name.size() + 2 && spelt[name.size()] == '\\' &&
         CompareNames(spelt.substr(0, name.size()), name) == 0;
}

size_t RegistryDocument::FirstLineFrom(std::string_view name) const {
  auto at = std::lower_bound(lines_.begin(), lines_.end(), name,
                             [&](const KeyLine& line, std::string_view n) { return CompareNames(LineName(line), n) < 0; });
  return static_cast<size_t>(at - lines_.begin());
}

// The last line, which sorts before the one ahead of it, to its place
// among the lines before, when that is at most kNearBy lines back: searched
// from the end in growing steps. False, nothing moved, when it is farther.
bool RegistryDocument::MoveLastInOrder() {
  constexpr size_t kNearBy = 16;
  const KeyLine last = lines_.back();
  const size_t n = lines_.size();
  const auto before = LineOrder();
  // lines_[high] sorts after the line; lines_[low - 1], when low > 0, not.
  size_t high = n - 2, low = 0;
  for (size_t step = 1; step <= high; step *= 2) {
    if (!before(last, lines_[high - step])) {
      low = high - step + 1;
      break;
    }
    high -= step;
    if (n - 1 - high > kNearBy) return false;
  }
  const auto to = std::upper_bound(lines_.begin() + static_cast<std::ptrdiff_t>(low),
                                   lines_.begin() + static_cast<std::ptrdiff_t>(high), last, before);
  std::move_backward(to, lines_.end() - 1, lines_.end());
  *to = last;
  return true;
}

// Sorts lines that come in a few sorted runs: the runs merged pairwise.
void RegistryDocument::SortRuns(std::vector<KeyLine>* lines) const {
  const auto before = LineOrder();
  std::vector<size_t> starts{0};
  for (size_t i = 1; i < lines->size(); ++i)
    if (before((*lines)[i], (*lines)[i - 1])) starts.push_back(i);
  starts.push_back(lines->size());
  auto at = [&](size_t i) { return lines->begin() + static_cast<std::ptrdiff_t>(i); };
  while (starts.size() > 2) {
    std::vector<size_t> merged;
    for (size_t k = 0; k + 1 < starts.size(); k += 2) {
      merged.push_back(starts[k]);
      if (k + 2 < starts.size()) std::inplace_merge(at(starts[k]), at(starts[k + 1]), at(starts[k + 2]), before);
    }
    merged.push_back(lines->size());
    starts = std::move(merged);
  }
}

uint32_t RegistryDocument::Find(std::u16string_view path) {
  if (path.empty()) return keys_[kRootKey].deleted ? kNoKey : kRootKey;
  std::string name = KeyName(path);
  if (auto known = ids_.find(name); known != ids_.end()) return keys_[known->second].deleted ? kNoKey : known->second;
  const size_t first = FirstLineFrom(name);
  if (first == lines_.size()) return kNoKey;
  const KeyLine& line = lines_[first];
  if (CompareNames(LineName(line), name) != 0 && !Below(line, name)) return kNoKey;
  // The key as the file spells it: its own line's name, or the start of
  // the name of a key below it.
  const size_t depth = static_cast<size_t>(std::count(path.begin(), path.end(), u'\\'));
  String spelt = LinePath(line);
  size_t cut = 0;
  for (size_t d = 0; d <= depth && cut != String::npos; ++d) cut = spelt.find(u'\\', d == 0 ? 0 : cut + 1);
  if (cut != String::npos) spelt.resize(cut);
  return Materialize(std::move(name), spelt);
}

// A record for a key that exists: in the file, or just created.
uint32_t RegistryDocument::Materialize(std::string name, std::u16string_view path) {
  const auto id = static_cast<uint32_t>(keys_.size());
  Key& key = keys_.emplace_back();
  key.path = String(path);
  const size_t first = FirstLineFrom(name);
  while (first + key.lineCount < lines_.size() && CompareNames(LineName(lines_[first + key.lineCount]), name) == 0)
    ++key.lineCount;
  if (key.lineCount) key.firstLine = static_cast<uint32_t>(first);
  key.name = std::move(name);
  ids_.emplace(key.name, id);
  return id;
}

uint32_t RegistryDocument::ParentOf(uint32_t id) {
  Key& key = keys_[id];
  if (key.parent == kNoKey && id != kRootKey) {
    const size_t slash = key.path.rfind(u'\\');
    key.parent = slash == String::npos ? kRootKey : Find(std::u16string_view(key.path).substr(0, slash));
  }
  return key.parent;
}

uint32_t RegistryDocument::AddKey(std::u16string_view path) {
  uint32_t id = kRootKey;
  for (size_t stop = 0; stop != std::u16string_view::npos;) {
    stop = path.find(u'\\', stop == 0 ? 0 : stop + 1);
    const std::u16string_view part = path.substr(0, stop);
    uint32_t found = Find(part);
    if (found == kNoKey) {
      std::string name = KeyName(part);
      if (auto known = ids_.find(name); known != ids_.end()) {
        // Deleted earlier: made again, empty, whatever its lines held.
        found = known->second;
        Key& again = keys_[found];
        again = Key{};
        again.name = std::move(name);
        again.path = String(part);
        again.dropped = true;
        again.loaded = true;
      } else {
        found = Materialize(std::move(name), part);
      }
      keys_[found].parent = id;
      keys_[found].created = true;
    }
    id = found;
  }
  return id;
}

// Each distinct key right below `key` that the file's lines name: visit(its
// first line, its index-form name).
template <class Visit>
void RegistryDocument::ForEachChildLine(uint32_t id, Visit visit) {
  const std::string& name = keys_[id].name;
  size_t i = FirstLineFrom(name);
  while (i < lines_.size() && CompareNames(LineName(lines_[i]), name) == 0) ++i;
  const size_t skip = name.empty() ? 0 : name.size() + 2;
  while (i < lines_.size() && Below(lines_[i], name)) {
    const std::string_view spelt = LineName(lines_[i]);
    size_t stop = skip;
    while (stop + 1 < spelt.size() && !(spelt[stop] == '\\' && spelt[stop + 1] == '\\')) ++stop;
    if (stop + 1 >= spelt.size()) stop = spelt.size();
    const std::string_view child = spelt.substr(0, stop);
    if (!visit(lines_[i], child)) return;
    // Past the child's own lines and those of the keys below it.
    ++i;
    while (i < lines_.size()) {
      const std::string_view next = LineName(lines_[i]);
      const bool inside = next.size() >= child.size() && CompareNames(next.substr(0, child.size()), child) == 0 &&
                          (next.size() == child.size() || next[child.size()] == '\\');
      if (!inside) break;
      ++i;
    }
  }
}

bool RegistryDocument::HasSubkeys(uint32_t id) {
  bool found = false;
  ForEachChildLine(id, [&](const KeyLine&, std::string_view child) {
    auto known = ids_.find(Folded(child));
    found = known == ids_.end() || !keys_[known->second].dropped;
    return !found;
  });
  if (found) return true;
  for (uint32_t k = 1; k < keys_.size(); ++k)
    if (keys_[k].created && !keys_[k].deleted && keys_[k].parent == id) return true;
  return false;
}

std::vector<String> RegistryDocument::SubkeyNames(uint32_t id) {
  std::vector<String> names;
  const size_t depth = id == kRootKey ? 0 : static_cast<size_t>(std::count(keys_[id].path.begin(), keys_[id].path.end(), u'\\')) + 1;
  ForEachChildLine(id, [&](const KeyLine& line, std::string_view child) {
    auto known = ids_.find(Folded(child));
    if (known != ids_.end() && keys_[known->second].dropped) return true;
    const String path = LinePath(line);
    size_t start = 0;
    for (size_t d = 0; d < depth; ++d) start = path.find(u'\\', start) + 1;
    names.push_back(path.substr(start, path.find(u'\\', start) - start));
    return true;
  });
  for (uint32_t k = 1; k < keys_.size(); ++k) {
    const Key& key = keys_[k];
    if (!key.created || key.deleted || key.parent != id) continue;
    const size_t slash = key.path.rfind(u'\\');
    names.push_back(slash == String::npos ? key.path : key.path.substr(slash + 1));
  }
  std::sort(names.begin(), names.end(), [](const String& a, const String& b) { return NameLess(a, b); });
  return names;
}

// A key's value and option lines from `body` up to the next key line; the
// position of that line. `values` may be null to check only.
const char* RegistryDocument::ReadBody(const char* body, Values* values, uint32_t* errorLine, std::string* reason) {
  const char* const end = text_.data() + text_.size();
  regtext::Cursor c{body, end, 0};
  auto fail = [&](const char* why) {
    *errorLine = LineAt(body) + c.line;
    if (why) *reason = why;
    return nullptr;
  };
  while (c.p < end && *c.p != '[') {
    const char first = *c.p;
    if (first == '\n') {
      ++c.p;
      ++c.line;
      continue;
    }
    if (first != '"' && first != '@') {
      const char* lineEnd = LineEnd(c.p, end);
      const std::string_view line(c.p, static_cast<size_t>(lineEnd - c.p));
      if (first != '#' && first != ';' && !BlankLine(c.p, lineEnd)) return fail("ligne inattendue");
      // The timestamp is rewritten with the key; everything else stays.
      if (values && (first == '#' || first == ';') && line.substr(0, 6) != "#time=") values->meta.push_back(line);
      c.p = lineEnd < end ? lineEnd + 1 : end;
      ++c.line;
      continue;
    }
    const char* start = c.p;
    RegistryEntry entry;
    ++c.p;
    if (first == '"' && !regtext::ReadEscaped(&c, '"', values ? &entry.name : nullptr, reason)) return fail(nullptr);
    if (c.p >= end || *c.p != '=') return fail("« = » attendu après le nom de la valeur");
    ++c.p;
    if (!regtext::ReadValueData(&c, &entry.type, values ? &entry.data : nullptr, reason)) return fail(nullptr);
    if (!values) continue;
    entry.raw = std::string_view(start, static_cast<size_t>(c.p - start));
    if (!entry.raw.empty() && entry.raw.back() == '\n') entry.raw.remove_suffix(1);
    // A later line or section of the same key overrides, as Wine's loader does.
    const int existing = FindEntry(*values, entry.name);
    if (existing >= 0) {
      values->entries[static_cast<size_t>(existing)] = std::move(entry);
    } else {
      values->entries.push_back(std::move(entry));
      const auto at = static_cast<uint32_t>(values->entries.size() - 1);
      if (!values->index.empty()) values->index.emplace(values->entries[at].name, at);
      else if (values->entries.size() > kScanLimit) ReindexValues(*values);
    }
  }
  return c.p;
}

RegistryDocument::Values& RegistryDocument::LoadValues(uint32_t id) {
  Key& key = keys_[id];
  if (key.loaded) return key.values;
  key.loaded = true;
  const char* const begin = text_.data();
  const char* const end = begin + text_.size();
  for (uint32_t i = 0; i < key.lineCount && key.damageLine == 0; ++i) {
    const char* lineEnd = LineEnd(begin + lines_[key.firstLine + i].at, end);
    if (!ReadBody(lineEnd < end ? lineEnd + 1 : end, &key.values, &key.damageLine, &key.damage)) {
      key.values = Values{};  // a damaged key serves nothing
    }
  }
  return key.values;
}

bool RegistryDocument::CheckKey(uint32_t id, uint32_t* errorLine, std::string* reason) {
  if (id == kRootKey) return CheckAll(errorLine, reason);
  const Key& key = keys_[id];
  LoadValues(id);
  if (key.damageLine == 0) return true;
  *errorLine = key.damageLine;
  *reason = key.damage;
  return false;
}

bool RegistryDocument::CheckAll(uint32_t* errorLine, std::string* reason) {
  if (checkedAll_) return true;
  if (!CheckKeyLines(errorLine, reason)) return false;
  const char* const end = text_.data() + text_.size();
  for (const char* p = text_.data() + preambleEnd_; p < end;) {
    const char* lineEnd = LineEnd(p, end);
    if (!(p = ReadBody(lineEnd < end ? lineEnd + 1 : end, nullptr, errorLine, reason))) return false;
  }
  checkedAll_ = true;
  return true;
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
  Values& values = LoadValues(id);
  const int found = FindEntry(values, name);
  return found < 0 ? nullptr : &values.entries[static_cast<size_t>(found)];
}

std::vector<String> RegistryDocument::ValueNames(uint32_t id) {
  std::vector<String> names;
  for (const auto& value : LoadValues(id).entries) names.push_back(value.name);
  return names;
}

void RegistryDocument::Touch(uint32_t id) {
  LoadValues(id);
  Key& key = keys_[id];
  if (!key.dirty && key.lineCount == 0) created_.push_back(id);
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
  if (keys_[parent].dirty || keys_[parent].lineCount != 0) Touch(parent);
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
  const uint32_t parentId = ParentOf(id);
  keys_[id].deleted = true;
  keys_[id].dropped = true;
  changed_ = true;
  // A parent that existed only through this key must now be written to
  // survive, and Wine stamps the parent of a deleted key anyway.
  // The root is written only when the file already spells it ("[]").
  const Key& parent = keys_[parentId];
  if (parent.lineCount != 0 || (parentId != kRootKey && !HasSubkeys(parentId))) Touch(parentId);
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
  // The key lines in file order: each kept section as it is, a changed key
  // anew at its first section, new keys slotted in Wine's order.
  std::vector<uint32_t> order(lines_.size());
  for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return lines_[a].at < lines_[b].at; });
  struct Unit {
    uint32_t key;   // kNoKey for a section kept as it is
    uint32_t line;  // kNone for a key written anew
    size_t end = 0;
  };
  std::vector<Unit> units;
  units.reserve(order.size() + created_.size());
  for (size_t o = 0; o < order.size(); ++o) {
    const uint32_t i = order[o];
    const size_t sectionEnd = o + 1 < order.size() ? lines_[order[o + 1]].at : text_.size();
    auto known = ids_.find(Folded(LineName(lines_[i])));
    if (known == ids_.end()) {
      units.push_back({kNoKey, i, sectionEnd});
      continue;
    }
    const Key& key = keys_[known->second];
    if (key.dropped) continue;
    if (!key.dirty) units.push_back({kNoKey, i, sectionEnd});
    else if (key.firstLine == i) units.push_back({known->second, kNone});
  }
  auto unitName = [&](const Unit& u) { return u.key == kNoKey ? LineName(lines_[u.line]) : std::string_view(keys_[u.key].name); };
  for (uint32_t id : created_) {
    if (keys_[id].deleted) continue;
    const std::string& name = keys_[id].name;
    auto at = std::find_if(units.begin(), units.end(), [&](const Unit& u) { return CompareNames(name, unitName(u)) < 0; });
    units.insert(at, Unit{id, kNone});
  }
  std::string out;
  out.reserve(text_.size() + 4096);
  out.append(text_.substr(0, preambleEnd_));
  bool previousRewritten = lines_.empty();
  for (const Unit& unit : units) {
    const bool rewritten = unit.line == kNone;
    if (rewritten || previousRewritten) {
      // Keys are separated by a blank line; kept text already carries it.
      if (!out.empty() && out.back() != '\n') out.push_back('\n');
      if (out.size() < 2 || out.compare(out.size() - 2, 2, "\n\n") != 0) out.push_back('\n');
    }
    if (rewritten) AppendKey(unit.key, now, &out);
    else out.append(text_.substr(lines_[unit.line].at, unit.end - lines_[unit.line].at));
    previousRewritten = rewritten;
  }
  return out;
}

}  // namespace platform::prefix

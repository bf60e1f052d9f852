#include "platform/prefix/registry_document.h"

#include <algorithm>
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

size_t FoldHash::operator()(std::u16string_view s) const noexcept {
  // Four folded characters per multiply: names are hashed on every lookup.
  uint64_t h = 0x9E3779B97F4A7C15ULL ^ s.size();
  size_t i = 0;
  for (; i + 4 <= s.size(); i += 4) {
    const uint64_t w = uint64_t(FoldCase(s[i])) | uint64_t(FoldCase(s[i + 1])) << 16 |
                       uint64_t(FoldCase(s[i + 2])) << 32 | uint64_t(FoldCase(s[i + 3])) << 48;
    h = (h ^ w) * 0xFF51AFD7ED558CCDULL;
    h ^= h >> 32;
  }
  uint64_t w = 0;
  for (int shift = 0; i < s.size(); ++i, shift += 16) w |= uint64_t(FoldCase(s[i])) << shift;
  h = (h ^ w) * 0xC4CEB9FE1A85EC53ULL;
  return static_cast<size_t>(h ^ (h >> 29));
}

bool FoldEqual::operator()(std::u16string_view a, std::u16string_view b) const noexcept {
  if (a.size() != b.size()) return false;
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

RegistryDocument::RegistryDocument(std::string header) : header_(std::move(header)) {
  keys_.emplace_back();  // the root, which always exists
  index_.emplace(IndexKey{keys_[0].path, FoldHash()(keys_[0].path)}, kRootKey);
  text_ = header_;
  preambleEnd_ = text_.size();
}

bool RegistryDocument::Parse(std::string text, uint32_t* errorLine, std::string* reason) {
  text_ = std::move(text);
  if (text_.empty()) text_ = header_;  // an empty file reads as an empty registry
  return ParseLines(errorLine, reason);
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
  {
    const char* lineEnd = LineEnd(c.p, end);
    std::string_view first(c.p, static_cast<size_t>(lineEnd - c.p));
    if (!first.empty() && first.back() == '\r') first.remove_suffix(1);
    if (first != "WINE REGISTRY Version 2") return fail("en-tête « WINE REGISTRY Version 2 » absent");
    c.p = lineEnd < end ? lineEnd + 1 : end;
    c.line = 2;
  }
  preambleEnd_ = text_.size();
  // About one key per few hundred bytes in files Wine writes.
  index_.reserve(text_.size() / 256 + 16);
  sections_.reserve(text_.size() / 256 + 16);
  String name;
  while (c.p < end) {
    const char* lineEnd = LineEnd(c.p, end);
    const char first = *c.p;
    if (first == '[') {
      Section section{};
      section.begin = static_cast<size_t>(c.p - begin);
      if (sections_.empty()) preambleEnd_ = section.begin;
      else sections_.back().end = section.begin;
      ++c.p;
      name.clear();
      std::string why;
      if (!regtext::ReadEscaped(&c, ']', &name, &why)) return fail(why);
      if (!TidyKeyPath(&name)) return fail("nom de clé invalide (commence par une barre oblique inverse)");
      // The rest of the line holds the timestamp; Wine takes the time of
      // loading when it is absent or unreadable, so do we.
      c.p = lineEnd < end ? lineEnd + 1 : end;
      ++c.line;
      section.key = AddKey(name);
      section.bodyBegin = static_cast<size_t>(c.p - begin);
      section.bodyLine = c.line;
      section.end = text_.size();
      keys_[section.key].sections.push_back(static_cast<uint32_t>(sections_.size()));
      sections_.push_back(section);
      continue;
    }
    if (first == '"' || first == '@') {
      if (sections_.empty()) return fail("valeur placée avant la première clé");
      std::string why;
      if (first == '"') {
        ++c.p;
        if (!regtext::ReadEscaped(&c, '"', nullptr, &why)) return fail(why);
      } else {
        ++c.p;
      }
      if (c.p >= end || *c.p != '=') return fail("« = » attendu après le nom de la valeur");
      ++c.p;
      uint32_t type = 0;
      if (!regtext::ReadValueData(&c, &type, nullptr, &why)) return fail(why);
      continue;
    }
    if (first != '#' && first != ';' && !BlankLine(c.p, lineEnd)) return fail("ligne inattendue");
    c.p = lineEnd < end ? lineEnd + 1 : end;
    ++c.line;
  }
  return true;
}

uint32_t RegistryDocument::AddKey(std::u16string_view path) {
  const size_t hash = FoldHash()(path);
  auto found = index_.find(IndexKey{path, hash});
  if (found != index_.end()) return found->second;
  const size_t slash = path.rfind(u'\\');
  const uint32_t parent = slash == std::u16string_view::npos ? kRootKey : FindParent(path.substr(0, slash));
  const auto id = static_cast<uint32_t>(keys_.size());
  Key& key = keys_.emplace_back();
  key.path.assign(path);
  key.nameOffset = slash == std::u16string_view::npos ? 0 : slash + 1;
  key.parent = parent;
  keys_[parent].children.push_back(id);
  index_.emplace(IndexKey{key.path, hash}, id);
  lastAdded_ = id;
  return id;
}

// Files list keys in tree order, so a key's parent is most often the key
// just added or that key's parent: no lookup needed then.
uint32_t RegistryDocument::FindParent(std::u16string_view parentPath) {
  for (uint32_t candidate : {lastAdded_, keys_[lastAdded_].parent}) {
    if (candidate != kNoKey && !keys_[candidate].deleted && FoldEqual()(keys_[candidate].path, parentPath)) return candidate;
  }
  return AddKey(parentPath);
}

uint32_t RegistryDocument::Find(std::u16string_view path) const {
  auto found = index_.find(IndexKey{path, FoldHash()(path)});
  return found == index_.end() ? kNoKey : found->second;
}

void RegistryDocument::LoadValues(uint32_t id) {
  Key& key = keys_[id];
  if (key.valuesLoaded) return;
  key.valuesLoaded = true;
  const char* const end = text_.data() + text_.size();
  for (uint32_t s : key.sections) {
    const Section& section = sections_[s];
    const char* const sectionEnd = text_.data() + section.end;
    regtext::Cursor c{text_.data() + section.bodyBegin, sectionEnd, section.bodyLine};
    while (c.p < sectionEnd) {
      const char* lineEnd = LineEnd(c.p, end);
      if (*c.p != '"' && *c.p != '@') {
        std::string_view line(c.p, static_cast<size_t>(lineEnd - c.p));
        // The timestamp is rewritten with the key; everything else stays.
        if (!line.empty() && (line[0] == '#' || line[0] == ';') && line.substr(0, 6) != "#time=") key.meta.push_back(line);
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
      auto existing = key.valueIndex.find(std::u16string_view(entry.name));
      if (existing != key.valueIndex.end()) {
        key.values[existing->second] = std::move(entry);
      } else {
        key.valueIndex.emplace(entry.name, static_cast<uint32_t>(key.values.size()));
        key.values.push_back(std::move(entry));
      }
    }
  }
}

void RegistryDocument::ReindexValues(Key& key) {
  key.valueIndex.clear();
  for (size_t i = 0; i < key.values.size(); ++i) key.valueIndex.emplace(key.values[i].name, static_cast<uint32_t>(i));
}

const RegistryEntry* RegistryDocument::FindValue(uint32_t id, std::u16string_view name) {
  Key& key = keys_[id];
  if (!key.valuesLoaded) LoadValues(id);
  auto found = key.valueIndex.find(name);
  return found == key.valueIndex.end() ? nullptr : &key.values[found->second];
}

std::vector<String> RegistryDocument::ValueNames(uint32_t id) {
  LoadValues(id);
  std::vector<String> names;
  for (const auto& value : keys_[id].values) names.push_back(value.name);
  return names;
}

std::vector<String> RegistryDocument::SubkeyNames(uint32_t id) const {
  std::vector<String> names;
  for (uint32_t child : keys_[id].children) {
    const Key& key = keys_[child];
    names.push_back(key.path.substr(key.nameOffset));
  }
  std::sort(names.begin(), names.end(), [](const String& a, const String& b) { return NameLess(a, b); });
  return names;
}

void RegistryDocument::Touch(uint32_t id) {
  LoadValues(id);
  Key& key = keys_[id];
  if (!key.dirty && key.sections.empty()) created_.push_back(id);
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
  keys_[leaf].valuesLoaded = true;
  Touch(leaf);
  if (keys_[parent].dirty || !keys_[parent].sections.empty()) Touch(parent);
  return leaf;
}

void RegistryDocument::SetValue(uint32_t id, std::u16string_view name, uint32_t type, std::string data) {
  LoadValues(id);
  Key& key = keys_[id];
  auto found = key.valueIndex.find(name);
  if (found != key.valueIndex.end()) {
    RegistryEntry& entry = key.values[found->second];
    entry.type = type;
    entry.data = std::move(data);
    entry.raw = {};
  } else {
    RegistryEntry entry{String(name), type, std::move(data), {}};
    // Wine keeps values sorted by name; a new one goes to its place.
    auto at = std::find_if(key.values.begin(), key.values.end(),
                           [&](const RegistryEntry& e) { return NameLess(name, e.name); });
    key.values.insert(at, std::move(entry));
    ReindexValues(key);
  }
  Touch(id);
}

bool RegistryDocument::DeleteValue(uint32_t id, std::u16string_view name) {
  LoadValues(id);
  Key& key = keys_[id];
  auto found = key.valueIndex.find(name);
  if (found == key.valueIndex.end()) return false;
  key.values.erase(key.values.begin() + found->second);
  ReindexValues(key);
  Touch(id);
  return true;
}

void RegistryDocument::DeleteKey(uint32_t id) {
  Key& key = keys_[id];
  key.deleted = true;
  changed_ = true;
  index_.erase(IndexKey{key.path, FoldHash()(key.path)});
  Key& parent = keys_[key.parent];
  parent.children.erase(std::find(parent.children.begin(), parent.children.end(), id));
  // A parent that existed only through this key must now be written to
  // survive, and Wine stamps the parent of a deleted key anyway.
  // The root is written only when the file already spells it ("[]").
  if (!parent.sections.empty() || (parent.children.empty() && key.parent != kRootKey)) Touch(key.parent);
}

void RegistryDocument::AppendKey(const Key& key, FileTime now, std::string* out) const {
  regtext::AppendKeyHeader(key.path, now, out);
  for (std::string_view line : key.meta) {
    out->append(line);
    out->push_back('\n');
  }
  for (const RegistryEntry& value : key.values) {
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
      if (key.sections.front() == s) units.push_back({sections_[s].key, UINT32_MAX});
    } else {
      units.push_back({sections_[s].key, s});
    }
  }
  for (uint32_t id : created_) {
    if (keys_[id].deleted) continue;
    auto at = std::find_if(units.begin(), units.end(),
                           [&](const Unit& u) { return TreeLess(keys_[id].path, keys_[u.key].path); });
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
      AppendKey(keys_[unit.key], now, &out);
    } else {
      const Section& s = sections_[unit.section];
      out.append(text_, s.begin, s.end - s.begin);
    }
    previousRewritten = rewritten;
  }
  return out;
}

}  // namespace platform::prefix

// One registry file (user.reg or system.reg) in memory: its text exactly as
// read, an index of its keys, and the changes made since it was read.
//
// Guarantees when things go wrong:
// - Parse() checks the whole text before anything is served; on the first
//   fault it returns false with the line number and a French reason, and the
//   document must not be used (nor written).
// - Serialize() gives back every byte of the keys that were not changed (their
//   lines, comments, option lines and timestamps) and the file's header as it
//   was; only changed keys are written anew, in Wine's form with a fresh
//   timestamp, and new keys go where Wine's sorted order puts them.
//
// Values are decoded when their key is first used: loading a large file costs
// one checking pass over its bytes plus the key index.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/win_types.h"

namespace platform::prefix {

// Letter case folding of key and value names: ASCII, Latin-1, Latin
// Extended-A, Greek and Cyrillic capitals. ASCII inline: names are mostly
// ASCII and every lookup folds each character.
char16_t FoldCaseWide(char16_t c);
inline char16_t FoldCase(char16_t c) {
  if (c < 0x80) return static_cast<char16_t>(c - u'A') < 26 ? static_cast<char16_t>(c + 32) : c;
  return FoldCaseWide(c);
}

struct FoldHash {
  using is_transparent = void;
  size_t operator()(std::u16string_view s) const noexcept;
};
struct FoldEqual {
  using is_transparent = void;
  bool operator()(std::u16string_view a, std::u16string_view b) const noexcept;
};

struct RegistryEntry {
  String name;
  uint32_t type = 0;
  std::string data;
  std::string_view raw;  // the value's lines in the file; empty once changed
};

class RegistryDocument {
 public:
  static constexpr uint32_t kNoKey = UINT32_MAX;
  static constexpr uint32_t kRootKey = 0;

  // `header` is written at the top of a file that did not exist.
  explicit RegistryDocument(std::string header = {});
  RegistryDocument(const RegistryDocument&) = delete;
  RegistryDocument& operator=(const RegistryDocument&) = delete;

  bool Parse(std::string text, uint32_t* errorLine, std::string* reason);

  // `path`: components separated by one backslash, no leading or trailing one.
  uint32_t Find(std::u16string_view path) const;
  const RegistryEntry* FindValue(uint32_t key, std::u16string_view name);
  std::vector<String> ValueNames(uint32_t key);
  // Subkey names in the order Windows enumerates them (sorted, case ignored).
  std::vector<String> SubkeyNames(uint32_t key) const;
  bool HasSubkeys(uint32_t key) const { return !keys_[key].children.empty(); }
  bool IsDeleted(uint32_t key) const { return keys_[key].deleted; }
  const String& Path(uint32_t key) const { return keys_[key].path; }

  // Changes. Create() makes every missing key of the path and returns the last.
  uint32_t Create(std::u16string_view path);
  void SetValue(uint32_t key, std::u16string_view name, uint32_t type, std::string data);
  bool DeleteValue(uint32_t key, std::u16string_view name);
  // Only for a key without subkeys.
  void DeleteKey(uint32_t key);
  bool changed() const { return changed_; }

  // The file's new text; keys changed since Parse() are stamped with `now`.
  std::string Serialize(FileTime now);

 private:
  struct Section {
    uint32_t key;
    size_t begin;      // the '[' of the key line
    size_t bodyBegin;  // the line after it
    size_t end;        // the next key line or the end of the text
    uint32_t bodyLine;
  };
  struct Key {
    String path;
    size_t nameOffset = 0;  // where the last component starts in path
    uint32_t parent = kNoKey;
    std::vector<uint32_t> children;
    std::vector<uint32_t> sections;
    bool valuesLoaded = false;
    bool dirty = false;
    bool deleted = false;
    std::vector<RegistryEntry> values;
    std::unordered_map<String, uint32_t, FoldHash, FoldEqual> valueIndex;
    std::vector<std::string_view> meta;  // #class, #link, comments of the key
  };

  // The key index stores each path's hash once: rehashing and lookups then
  // never fold a long path again.
  struct IndexKey {
    std::u16string_view path;
    size_t hash;
  };
  struct IndexHash {
    size_t operator()(const IndexKey& k) const noexcept { return k.hash; }
  };
  struct IndexEqual {
    bool operator()(const IndexKey& a, const IndexKey& b) const noexcept {
      return a.hash == b.hash && FoldEqual()(a.path, b.path);
    }
  };

  bool ParseLines(uint32_t* errorLine, std::string* reason);
  uint32_t AddKey(std::u16string_view path);
  uint32_t FindParent(std::u16string_view parentPath);
  void LoadValues(uint32_t key);
  void ReindexValues(Key& key);
  void Touch(uint32_t key);
  void AppendKey(const Key& key, FileTime now, std::string* out) const;

  std::string text_;
  std::string header_;
  size_t preambleEnd_ = 0;
  std::deque<Key> keys_;
  std::unordered_map<IndexKey, uint32_t, IndexHash, IndexEqual> index_;
  uint32_t lastAdded_ = kRootKey;
  std::vector<Section> sections_;
  std::vector<uint32_t> created_;  // keys made since Parse(), without a section
  bool changed_ = false;
};

}  // namespace platform::prefix

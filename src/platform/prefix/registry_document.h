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
// Values are decoded when their key is first used and key paths when they
// are first asked for: loading a large file costs one checking pass over its
// bytes, which builds the index of the key names as the file spells them on
// the way.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/prefix/registry_text.h"
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

class TextStructure;  // where a text's line ends, quotes and backslashes are

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
  std::vector<String> SubkeyNames(uint32_t key);
  bool HasSubkeys(uint32_t key) const { return keys_[key].childCount != 0; }
  bool IsDeleted(uint32_t key) const { return keys_[key].deleted; }
  const String& Path(uint32_t key);

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
  static constexpr uint32_t kNone = UINT32_MAX;
  static constexpr size_t kScanLimit = 16;  // values a key holds before it gets a hash index

  struct Section {
    uint32_t key;
    uint32_t next;     // the key's next section, or kNone
    size_t begin;      // the '[' of the key line
    size_t bodyBegin;  // the line after it
    size_t end;        // the next key line or the end of the text
    uint32_t bodyLine;
  };
  struct Values {
    std::vector<RegistryEntry> entries;
    // Only for keys with many values; small keys are scanned.
    std::unordered_map<String, uint32_t, FoldHash, FoldEqual> index;
    std::vector<std::string_view> meta;  // #class, #link, comments of the key
  };
  // A key's name is kept in its index form (see KeyName in the .cpp): for
  // the usual names that is the file's own bytes between the brackets, so
  // loading neither decodes nor copies them. The readable path is made on
  // first use. The index finds a key by its parent and its last component,
  // which starts `componentOffset` bytes into the name.
  struct Key {
    const char* name = "";
    uint32_t nameLength = 0;
    uint32_t componentOffset = 0;
    bool rawName = true;  // `name` is file text, which decodes to the path
    bool dirty = false;
    bool deleted = false;
    uint64_t hash = 0;
    uint32_t parent = kNoKey;
    uint32_t firstSection = kNone;
    uint32_t lastSection = kNone;
    uint32_t childCount = 0;
    // The child added last, and whether the children came in order: while
    // they do, a name after the last cannot be among them.
    uint32_t lastChild = kNoKey;
    bool childrenInOrder = true;
    Values* values = nullptr;  // in values_, once loaded
  };

  bool ParseLines(uint32_t* errorLine, std::string* reason);
  bool ParseKeyLine(regtext::Cursor* c, TextStructure& structure, std::string* reason);
  uint32_t Lookup(uint32_t parent, const char* component, size_t length, uint64_t hash) const;
  uint32_t AddRawKey(const char* name, size_t length);
  uint32_t AddKey(std::u16string_view path);
  uint32_t InsertKey(const char* name, size_t length, size_t componentOffset, bool rawName, uint64_t hash,
                     uint32_t parent);
  void IndexKey(uint32_t id);
  void FlushIndex();
  bool AfterLastChild(uint32_t parent, const char* component, size_t length) const;
  const char* Own(std::string name);
  Values& LoadValues(uint32_t key);
  int FindEntry(Values& values, std::u16string_view name) const;
  void ReindexValues(Values& values);
  void Touch(uint32_t key);
  void AppendKey(uint32_t key, FileTime now, std::string* out);

  std::string text_;
  std::string header_;
  size_t preambleEnd_ = 0;
  std::vector<Key> keys_;
  // Open addressing on the hash of (parent, last component): (low half of
  // the hash, key id), a power of two in size, at most half full.
  std::vector<std::pair<uint32_t, uint32_t>> slots_;
  size_t used_ = 0;
  std::deque<std::string> owned_;  // names not spelt in the text as indexed
  std::unordered_map<uint32_t, String> paths_;
  std::deque<Values> values_;
  std::vector<std::vector<uint32_t>> children_;  // built on first enumeration
  bool childrenReady_ = false;
  // While parsing: the previous plain key line and its keys from the root
  // down, since files list keys in tree order and neighbours share parents;
  // and the separators of the key line being read.
  const char* previousName_ = "";
  size_t previousLength_ = 0;
  std::vector<uint32_t> previousChain_;
  std::vector<uint32_t> separators_;
  // Keys added while parsing go into slots_ a batch at a time, their slots
  // fetched from memory together; Lookup() checks the batch too.
  static constexpr size_t kIndexBatch = 16;
  bool batchIndex_ = false;
  size_t batched_ = 0;
  uint32_t batch_[kIndexBatch];
  std::vector<Section> sections_;
  std::vector<uint32_t> created_;  // keys made since Parse(), without a section
  bool changed_ = false;
};

}  // namespace platform::prefix

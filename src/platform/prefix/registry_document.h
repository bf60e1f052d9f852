// One registry file (user.reg or system.reg) in memory: its text exactly as
// read, an index of its key lines, and the changes made since it was read.
//
// Guarantees when things go wrong:
// - Load() reads the header and finds every key line; a fault there fails it
//   with the line number and a French reason, and the document must not be
//   used. A key line's name is checked where it differs from the names of
//   the lines around it when loading, and in full the first time a lookup
//   needs it. A key's value lines are read, and checked, the first time the
//   key is used: CheckKey() fails with the line and the reason when they
//   are damaged, and only that key is refused. A key line found damaged by
//   a lookup makes misread() true: the document is then read again with
//   CheckKeyLines(), which refuses the file at that line as Load() would.
//   CheckAll() checks every line; a document is written only after it
//   passed. Parse() is Load() and CheckAll() at once.
// - Serialize() gives back every byte of the keys that were not changed (their
//   lines, comments, option lines and timestamps) and the file's header as it
//   was; only changed keys are written anew, in Wine's form with a fresh
//   timestamp, and new keys go where Wine's sorted order puts them.
// - Text mapped from a file that another program shrinks meanwhile reads as
//   zeros past the new end, never past the end (mapped_file.h): misread()
//   then says that what was read must be read again from the file.
//
// Loading costs one pass over the text that finds the lines starting with
// '[' and keeps one array entry for each. Files in Wine's key order (all
// that Wine writes, and all that this class writes from them) are checked
// to be in that order as they are read, comparing each key line with the
// one before only up to where they differ; the rest of a name is read when
// a lookup first needs it. Files out of that order are sorted, every name
// read in full. Keys are looked up by a binary search of the lines, and a
// key gets a record of its own only once it is used.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/prefix/mapped_file.h"
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

  // The text of a file read whole, checked whole.
  bool Parse(std::string text, uint32_t* errorLine, std::string* reason);
  // A file's bytes; only the header and the key lines are read now.
  bool Load(std::unique_ptr<MappedFile> file, uint32_t* errorLine, std::string* reason);
  // Every key line's name read in full.
  bool CheckKeyLines(uint32_t* errorLine, std::string* reason);
  // The key's value lines (for the root: every line of the file).
  bool CheckKey(uint32_t key, uint32_t* errorLine, std::string* reason);
  bool CheckAll(uint32_t* errorLine, std::string* reason);
  // What was read must be read again: the mapped file shrank under it (see
  // mapped_file.h), or a lookup found a damaged key line, which a reading
  // with CheckKeyLines() refuses.
  bool misread() const { return torn() || keyLineDamaged(); }
  bool torn() const { return file_ && file_->torn(); }
  bool keyLineDamaged() const { return !lateDamage_.empty(); }

  // `path`: components separated by one backslash, no leading or trailing one.
  uint32_t Find(std::u16string_view path);
  const RegistryEntry* FindValue(uint32_t key, std::u16string_view name);
  std::vector<String> ValueNames(uint32_t key);
  // Subkey names in the order Windows enumerates them (sorted, case ignored).
  std::vector<String> SubkeyNames(uint32_t key);
  bool HasSubkeys(uint32_t key);
  bool IsDeleted(uint32_t key) const { return keys_[key].deleted; }
  const String& Path(uint32_t key) const { return keys_[key].path; }

  // Changes. Create() makes every missing key of the path and returns the last.
  uint32_t Create(std::u16string_view path);
  void SetValue(uint32_t key, std::u16string_view name, uint32_t type, std::string data);
  bool DeleteValue(uint32_t key, std::u16string_view name);
  // Only for a key without subkeys.
  void DeleteKey(uint32_t key);
  bool changed() const { return changed_; }

  // Files this size or larger are refused: the index keeps 31-bit offsets.
  static constexpr uint64_t kLargestFile = 0x80000000u;

  // The file's new text; keys changed since Parse() are stamped with `now`.
  std::string Serialize(FileTime now);

 private:
  static constexpr uint32_t kNone = UINT32_MAX;
  static constexpr size_t kScanLimit = 16;  // values a key holds before it gets a hash index
  static constexpr uint32_t kOwnedName = uint32_t(kLargestFile);
  static constexpr uint32_t kUnread = kOwnedName - 1;  // a name not read in full yet

  // A line starting with '[': where it is, and its key's name in index form
  // (see KeyName in the .cpp). For the usual names that is the file's own
  // bytes after the '['; other names are spelt anew in ownedNames_, and
  // `length` then holds kOwnedName and their place there. kUnread until the
  // name is read in full.
  struct KeyLine {
    uint32_t at;
    uint32_t length;
  };
  struct OwnedName {
    std::string name;
    String path;
  };
  struct Values {
    std::vector<RegistryEntry> entries;
    // Only for keys with many values; small keys are scanned.
    std::unordered_map<String, uint32_t, FoldHash, FoldEqual> index;
    std::vector<std::string_view> meta;  // #class, #link, comments of the key
  };
  // A key in use: found, created, changed or deleted.
  struct Key {
    std::string name;  // index form, letters folded
    String path;       // as the file spells it, or as it was created
    uint32_t parent = kNoKey;
    // Its key lines: lines_[firstLine, firstLine + lineCount), in file order.
    uint32_t firstLine = kNone;
    uint32_t lineCount = 0;
    bool dirty = false;
    bool deleted = false;
    bool dropped = false;  // deleted once: its lines in the file no longer count
    bool created = false;  // made since loading: no line of the file names it
    bool loaded = false;
    uint32_t damageLine = 0;  // 0, or the line of the fault in its value lines
    std::string damage;
    Values values;
  };

  bool IndexKeyLines(uint32_t* errorLine, std::string* reason);
  bool IndexInFileOrder(const char* first);
  bool IndexSorting(const char* first, uint32_t* errorLine, std::string* reason);
  bool ReadKeyLine(KeyLine& line, uint32_t* errorLine, std::string* reason) const;
  bool CheckPreamble(const char* from, const char* to, uint32_t* errorLine, std::string* reason) const;
  const char* AddKeyLine(const char* at, std::string_view previous, bool* outOfOrder, uint32_t* errorLine,
                         std::string* reason);
  auto LineOrder() const;
  bool MoveLastInOrder();
  void SortRuns(std::vector<KeyLine>* lines) const;
  std::string_view LineName(const KeyLine& line) const;
  String LinePath(const KeyLine& line) const;
  bool Below(const KeyLine& line, std::string_view name) const;
  size_t FirstLineFrom(std::string_view name) const;
  uint32_t Materialize(std::string name, std::u16string_view path);
  uint32_t ParentOf(uint32_t key);
  uint32_t AddKey(std::u16string_view path);
  const char* ReadBody(const char* body, Values* values, uint32_t* errorLine, std::string* reason);
  uint32_t LineAt(const char* p) const;
  Values& LoadValues(uint32_t key);
  int FindEntry(Values& values, std::u16string_view name) const;
  void ReindexValues(Values& values);
  void Touch(uint32_t key);
  void AppendKey(uint32_t key, FileTime now, std::string* out);
  template <class Visit>
  void ForEachChildLine(uint32_t key, Visit visit);

  std::unique_ptr<MappedFile> file_;
  std::string ownedText_;
  std::string_view text_;
  std::string header_;
  size_t preambleEnd_ = 0;
  bool checkedAll_ = false;
  // Sorted in Wine's key order, file order among equals. Names are read in
  // full as lookups need them, which a const lookup may do.
  mutable std::vector<KeyLine> lines_;
  mutable std::deque<OwnedName> ownedNames_;
  mutable uint32_t lateDamageLine_ = 0;
  mutable std::string lateDamage_;  // why the first key line found damaged late is
  std::deque<Key> keys_;  // 0 is the root
  std::unordered_map<std::string, uint32_t> ids_;  // index form -> keys_
  std::vector<uint32_t> created_;  // keys made since loading, without a key line
  bool changed_ = false;
};

}  // namespace platform::prefix

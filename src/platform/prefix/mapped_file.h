// A file's bytes as the page cache holds them, mapped read-only, for a
// reader that looks at only part of a large file: mapping costs no copy and
// no fresh memory, where reading the file would fill a buffer of its size.
//
// Guarantees when things go wrong:
// - Another program may shrink the file while it is mapped (truncate it and
//   write it again in place). Touching a page past the new end would end
//   the process with SIGBUS; here such a touch turns the rest of the mapping
//   into zero bytes instead, and torn() says so from then on. Nothing past
//   the size mapped is ever read. A reader that finds torn() after reading
//   throws away what it read and reads the file again: it sees the old text
//   or the new one, never a mix it keeps.
// - A file replaced through a rename (as this project's writer and Wine save
//   the registry) leaves the mapping on the old file, whole.
// - A file rewritten in place at its old size or larger raises no signal:
//   the pages show the new bytes from then on, so a part first read after
//   the rewrite comes from the new text at the old text's offsets. The
//   registry looks at the file's name every few milliseconds and then reads
//   it whole again; a mix can last until then, never past a write, which
//   checks the whole file first.
// - Where no mapping can be made, the bytes are read into memory instead.
//
// The SIGBUS handler is installed once, at the first mapping; a SIGBUS that
// is not about a mapping made here goes on to the handler that was there
// before, or ends the process as it would have.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace platform::prefix {

class MappedFile {
 public:
  // The first `size` bytes of the open file `fd`; null when they cannot be
  // read. The descriptor may be closed afterwards.
  static std::unique_ptr<MappedFile> Open(int fd, size_t size);

  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  std::string_view bytes() const { return {begin_, size_}; }
  // The file shrank under the mapping and bytes were read past its new end.
  bool torn() const;

 private:
  MappedFile() = default;

  const char* begin_ = nullptr;
  size_t size_ = 0;
  int slot_ = -1;      // the guarded range, when mapped
  std::string copy_;  // the bytes, when read instead
};

}  // namespace platform::prefix

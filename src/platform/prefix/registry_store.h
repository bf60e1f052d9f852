// A registry file of the prefix (user.reg or system.reg) as the registry
// functions see it: mapped and indexed once, again only when the file
// changes, each key's lines read when the key is first used, and written
// back atomically.
//
// Guarantees when things go wrong:
// - A file that does not parse is never written: Write() checks every line
//   first. Current() fails when the header or a key line is damaged, and
//   CheckKey() when the key's own lines are; each fails with
//   kErrorRegistryCorrupt and error() says "<file>, ligne <n> : <why>".
// - A file another program truncates or rewrites in place while it is
//   mapped never ends the process and is never read past its end
//   (mapped_file.h): what was read from it is read again, as it is then.
// - Write() runs under an exclusive flock on ".kelvaro-registry.lock" in the
//   prefix, re-reads the file first when another process changed it, and
//   replaces it through a temporary file in the prefix folder (written,
//   fsynced, renamed, folder fsynced): a crash leaves the old or the new file.
//   The new file keeps the old one's owner, group and permissions.
//   A failed write removes the temporary file and leaves the old file; the
//   temporary file of a writer killed mid-save goes at the next write.
// - Write() is refused with kErrorAccessDenied when the file or the prefix
//   folder is not writable (no write permission, or no write bit at all: the
//   read-only attribute), and with kErrorPathNotFound when the prefix does
//   not exist; nothing is created then.
// - While a wineserver runs for the prefix it owns the file and would write
//   its own copy over any change. Write() first waits for a lingering server
//   to end (WaitForWineserverEnd); a server still alive gets the change
//   through Wine's registry tool (wine_registry_import.h), and the document
//   keeps the change in memory until Wine saves the file, which is then read
//   again. Where Wine cannot take it, the change is dropped from the
//   document, Write() answers kErrorAccessDenied and refusal() says why.
//
// Freshness: Current(true) always compares the file's identity (device,
// inode, size, modification and change times) with what was parsed;
// Current(false) does so at most once every kStatInterval, read on the
// coarse monotonic clock (a few nanoseconds, ticking every few milliseconds),
// so a read through a key opened earlier may see another process's change up
// to a clock tick or two later. That keeps a value read near the cost of a
// hash lookup instead of paying a stat for each one.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include <sys/stat.h>

#include "platform/prefix/registry_document.h"
#include "platform/prefix/wine_registry_import.h"

namespace platform::prefix {

class RegistryStore {
 public:
  static constexpr std::chrono::milliseconds kStatInterval{2};

  RegistryStore(std::string prefixRoot, std::string fileName, std::string header);

  // The document as of the file now. kErrorFileNotFound when the prefix does
  // not exist; kErrorRegistryCorrupt when the file does not parse.
  uint32_t Current(bool forceStat, RegistryDocument** document);
  // Bumped whenever the document is replaced (parsed again or written).
  uint64_t generation() const { return generation_; }
  const std::string& error() const { return error_; }
  const std::string& path() const { return path_; }

  // kErrorRegistryCorrupt, error() naming the line, when the key's lines in
  // the file are damaged.
  uint32_t CheckKey(RegistryDocument& document, uint32_t key);
  // What was read of the document may be wrong: the file shrank under it,
  // or a lookup found a damaged key line. The next Current() then reads the
  // file again, in the second case with every key line checked at once.
  bool Torn();

  // kErrorSuccess when the file may be written (a running Wine aside).
  uint32_t CheckWritable() const;
  // Applies `change` to the current document under the file lock and saves
  // the result when it changed something and `change` answered success;
  // `handed` is the same change as Wine's registry tool takes it.
  uint32_t Write(const std::function<uint32_t(RegistryDocument&)>& change, RegistryChange handed);
  // French reason of the last write a running Wine did not take; empty
  // after any other outcome.
  const std::string& refusal() const { return refusal_; }

 private:
  struct Identity {
    bool exists = false;
    uint64_t device = 0, inode = 0, size = 0;
    int64_t modified = 0, changed = 0;
    bool operator==(const Identity&) const = default;
  };
  enum class State { Unread, Ready, PrefixMissing, Corrupt };

  Identity StatFile() const;
  static Identity IdentityOf(const struct stat& st);
  uint32_t Reload(const Identity& identity);
  uint32_t ReadFile(const Identity& identity);
  uint32_t Save(const std::string& text);
  uint32_t HandToWine(const RegistryChange& change);
  // Removes what a writer killed mid-save left in the prefix folder.
  void RemoveAbandonedTemporaries() const;

  std::string prefixRoot_;
  std::string fileName_;
  std::string path_;
  std::string header_;
  State state_ = State::Unread;
  Identity identity_;
  int64_t lastCheck_ = 0;  // coarse monotonic nanoseconds
  std::unique_ptr<RegistryDocument> document_;
  uint64_t generation_ = 0;
  bool checkKeyLinesAtOnce_ = false;
  std::string error_;
  std::string refusal_;
};

// The lock every registry call holds while it works: the stores and the
// keys' cached positions are shared by all threads. The program reads the
// registry from one thread, so the lock is nearly always free; taking and
// releasing it then costs one atomic exchange and one store, where a mutex
// costs two atomic operations and two calls, a third of a value read. A
// thread that finds it taken spins briefly, then yields, then sleeps: a
// write holds it through an fsync.
class RegistryLock {
 public:
  void lock() {
    for (unsigned tries = 0; held_.test_and_set(std::memory_order_acquire); ++tries) Wait(tries);
  }
  void unlock() { held_.clear(std::memory_order_release); }

 private:
  static void Wait(unsigned tries);
  std::atomic_flag held_;
};

RegistryLock& RegistryMutex();

// The store of a file of the prefix WINEPREFIX names now.
std::shared_ptr<RegistryStore> StoreFor(bool localMachine);

}  // namespace platform::prefix

#include "platform/prefix/mapped_file.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <mutex>

namespace platform::prefix {
namespace {

// The mapped ranges the SIGBUS handler answers for. A handler may only use
// lock-free atomics, so the table is fixed; a process maps a handful of
// registry files at a time, and a mapping that finds no free place reads
// the file instead.
struct Guarded {
  std::atomic<bool> used{false};
  std::atomic<uintptr_t> begin{0};
  std::atomic<size_t> size{0};
  std::atomic<bool> torn{false};
};
constexpr int kGuarded = 64;
Guarded gGuarded[kGuarded];
struct sigaction gPrevious {};
uintptr_t gPageSize = 4096;

void PassOn(int signal, siginfo_t* info, void* context) {
  if (gPrevious.sa_flags & SA_SIGINFO) {
    if (gPrevious.sa_sigaction) return gPrevious.sa_sigaction(signal, info, context);
  } else if (gPrevious.sa_handler != SIG_DFL && gPrevious.sa_handler != SIG_IGN) {
    return gPrevious.sa_handler(signal);
  }
  // What the signal would have done without this handler: end the process.
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigaction(SIGBUS, &fallback, nullptr);
  raise(SIGBUS);
}

void OnBusError(int signal, siginfo_t* info, void* context) {
  // The interrupted code may be about to read errno: the mapping below must
  // not change it.
  const int savedErrno = errno;
  const auto at = reinterpret_cast<uintptr_t>(info->si_addr);
  for (Guarded& range : gGuarded) {
    const uintptr_t begin = range.begin.load(std::memory_order_acquire);
    const size_t size = range.size.load(std::memory_order_relaxed);
    if (begin == 0 || at < begin || at >= begin + size) continue;
    // The file ends before this page now: from here to the end of the
    // mapping, zeros take the place of the pages that are gone.
    const uintptr_t page = at & ~(gPageSize - 1);
    void* zeros = mmap(reinterpret_cast<void*>(page), begin + size - page, PROT_READ,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
    if (zeros == MAP_FAILED) break;
    range.torn.store(true, std::memory_order_release);
    errno = savedErrno;
    return;
  }
  errno = savedErrno;
  PassOn(signal, info, context);
}

bool InstallHandler() {
  static const bool installed = [] {
    gPageSize = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    struct sigaction action {};
    action.sa_sigaction = OnBusError;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    return sigaction(SIGBUS, &action, &gPrevious) == 0;
  }();
  return installed;
}

int ClaimGuard() {
  for (int i = 0; i < kGuarded; ++i) {
    bool expected = false;
    if (gGuarded[i].used.compare_exchange_strong(expected, true)) return i;
  }
  return -1;
}

bool ReadAll(int fd, size_t size, std::string* out) {
  out->resize(size);
  size_t used = 0;
  while (used < size) {
    const ssize_t n = pread(fd, out->data() + used, size - used, static_cast<off_t>(used));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;  // shrunk meanwhile: what is there
    used += static_cast<size_t>(n);
  }
  out->resize(used);
  return true;
}

}  // namespace

std::unique_ptr<MappedFile> MappedFile::Open(int fd, size_t size) {
  std::unique_ptr<MappedFile> file(new MappedFile);
  if (size == 0) return file;
  const int slot = InstallHandler() ? ClaimGuard() : -1;
  if (slot >= 0) {
    // Populated at once: the page cache's pages are entered many at a time
    // instead of one fault each.
    void* at = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    if (at != MAP_FAILED) {
      Guarded& range = gGuarded[slot];
      range.torn.store(false, std::memory_order_relaxed);
      range.size.store(size, std::memory_order_relaxed);
      range.begin.store(reinterpret_cast<uintptr_t>(at), std::memory_order_release);
      file->begin_ = static_cast<const char*>(at);
      file->size_ = size;
      file->slot_ = slot;
      return file;
    }
    gGuarded[slot].used.store(false);
  }
  if (!ReadAll(fd, size, &file->copy_)) return nullptr;
  file->begin_ = file->copy_.data();
  file->size_ = file->copy_.size();
  return file;
}

MappedFile::~MappedFile() {
  if (slot_ < 0) return;
  Guarded& range = gGuarded[slot_];
  range.begin.store(0, std::memory_order_release);
  munmap(const_cast<char*>(begin_), size_);
  range.used.store(false, std::memory_order_release);
}

bool MappedFile::torn() const { return slot_ >= 0 && gGuarded[slot_].torn.load(std::memory_order_acquire); }

}  // namespace platform::prefix

#include "platform/prefix/registry_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <map>
#include <thread>

#include "platform/prefix/file_owner.h"
#include "platform/prefix/host_files.h"
#include "platform/prefix/prefix.h"
#include "platform/prefix/registry_wineserver.h"

namespace platform::prefix {
namespace {

// Closes a descriptor on every path out.
struct Fd {
  int fd = -1;
  explicit Fd(int f) : fd(f) {}
  ~Fd() {
    if (fd >= 0) close(fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
};

// Writable for this program: the system lets it write (root is never
// refused), and the entry has at least one write bit, which is how the
// prefix spells the read-only attribute.
bool Writable(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return false;
  return (st.st_mode & 0222) != 0 && access(path.c_str(), W_OK) == 0;
}

FileTime Now() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return (static_cast<uint64_t>(ts.tv_sec) + kUnixEpochInFileTimeSeconds) * 10000000ULL +
         static_cast<uint64_t>(ts.tv_nsec) / 100;
}

bool FolderExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

RegistryStore::RegistryStore(std::string prefixRoot, std::string fileName, std::string header)
    : prefixRoot_(std::move(prefixRoot)),
      fileName_(std::move(fileName)),
      path_(prefixRoot_ + "/" + fileName_),
      header_(std::move(header)) {}

RegistryStore::Identity RegistryStore::StatFile() const {
  struct stat st {};
  if (stat(path_.c_str(), &st) != 0) return Identity{};
  return IdentityOf(st);
}

RegistryStore::Identity RegistryStore::IdentityOf(const struct stat& st) {
  Identity id;
  id.exists = true;
  id.device = st.st_dev;
  id.inode = st.st_ino;
  id.size = static_cast<uint64_t>(st.st_size);
  id.modified = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  id.changed = int64_t(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
  return id;
}

uint32_t RegistryStore::Current(bool forceStat, RegistryDocument** document) {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
  const int64_t now = int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
  const bool due = now - lastCheck_ >= std::chrono::nanoseconds(kStatInterval).count();
  if (state_ == State::Ready && !forceStat && !due) {  // the usual read
    *document = document_.get();
    return kErrorSuccess;
  }
  if (state_ == State::Unread || forceStat || due) {
    Identity id = StatFile();
    lastCheck_ = now;
    if (state_ == State::Unread || state_ == State::PrefixMissing || !(id == identity_)) {
      uint32_t code = Reload(id);
      if (code != kErrorSuccess) return code;
    }
  }
  switch (state_) {
    case State::Ready:
      *document = document_.get();
      return kErrorSuccess;
    case State::Corrupt:
      return kErrorRegistryCorrupt;
    default:
      return kErrorFileNotFound;
  }
}

uint32_t RegistryStore::Reload(const Identity& seen) {
  // A file that shrinks while it is read is read again, as it is then.
  uint32_t code = kErrorSuccess;
  for (int attempt = 0; attempt < 3; ++attempt) {
    code = ReadFile(seen);
    if (state_ != State::Ready || !document_->torn()) return code;
  }
  state_ = State::Corrupt;
  document_.reset();
  error_ = path_ + " : lecture impossible (le fichier change sans cesse)";
  return kErrorRegistryCorrupt;
}

uint32_t RegistryStore::ReadFile(const Identity& seen) {
  ++generation_;
  identity_ = seen;
  document_.reset();
  error_.clear();
  auto document = std::make_unique<RegistryDocument>(header_);
  Fd fd(open(path_.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.fd < 0) {
    if (errno != ENOENT) {
      state_ = State::Corrupt;
      error_ = path_ + " : lecture impossible (" + std::to_string(errno) + ")";
      return kErrorRegistryCorrupt;
    }
    // No file in an existing prefix is an empty registry; no prefix at all
    // is not a place to read or create keys in.
    state_ = FolderExists(prefixRoot_) ? State::Ready : State::PrefixMissing;
    identity_ = Identity{};
    if (state_ == State::Ready) document_ = std::move(document);
    return state_ == State::Ready ? kErrorSuccess : kErrorFileNotFound;
  }
  struct stat st {};
  const bool sized = fstat(fd.fd, &st) == 0;
  // Refused before it is mapped: its offsets would not fit the index.
  if (sized && uint64_t(st.st_size) >= RegistryDocument::kLargestFile) {
    state_ = State::Corrupt;
    error_ = path_ + ", ligne 1 : fichier trop volumineux";
    return kErrorRegistryCorrupt;
  }
  std::unique_ptr<MappedFile> file;
  if (!sized || !(file = MappedFile::Open(fd.fd, static_cast<size_t>(st.st_size)))) {
    state_ = State::Corrupt;
    error_ = path_ + " : lecture impossible";
    return kErrorRegistryCorrupt;
  }
  // What was read is this file as it was opened, even if another took its
  // name meanwhile: the next look at the name then sees the change.
  identity_ = IdentityOf(st);
  uint32_t line = 0;
  std::string reason;
  // Key lines are read in full at once when a lookup found one damaged in
  // this file before, so that the file is refused at that line.
  bool read = document->Load(std::move(file), &line, &reason);
  if (read && (checkKeyLinesAtOnce_ || document->keyLineDamaged())) read = document->CheckKeyLines(&line, &reason);
  if (!read) {
    state_ = document->torn() ? State::Ready : State::Corrupt;
    if (state_ == State::Ready) document_ = std::move(document);  // read again by Reload
    else error_ = path_ + ", ligne " + std::to_string(line) + " : " + reason;
    return state_ == State::Ready ? kErrorSuccess : kErrorRegistryCorrupt;
  }
  state_ = State::Ready;
  document_ = std::move(document);
  return kErrorSuccess;
}

uint32_t RegistryStore::CheckKey(RegistryDocument& document, uint32_t key) {
  uint32_t line = 0;
  std::string reason;
  if (document.CheckKey(key, &line, &reason)) return kErrorSuccess;
  if (document.misread()) return kErrorSuccess;  // the caller reads again
  error_ = path_ + ", ligne " + std::to_string(line) + " : " + reason;
  return kErrorRegistryCorrupt;
}

bool RegistryStore::Torn() {
  if (state_ != State::Ready || !document_ || !document_->misread()) return false;
  if (document_->keyLineDamaged()) checkKeyLinesAtOnce_ = true;
  state_ = State::Unread;  // read again at the next call
  return true;
}

uint32_t RegistryStore::CheckWritable() const {
  if (!FolderExists(prefixRoot_)) return kErrorPathNotFound;
  if (!Writable(prefixRoot_)) return kErrorAccessDenied;
  struct stat st {};
  if (stat(path_.c_str(), &st) == 0 && !Writable(path_)) return kErrorAccessDenied;
  return kErrorSuccess;
}

uint32_t RegistryStore::Write(const std::function<uint32_t(RegistryDocument&)>& change, RegistryChange handed) {
  refusal_.clear();
  uint32_t code = CheckWritable();
  if (code != kErrorSuccess) return code;
  const bool wineOwnsTheFile = !WaitForWineserverEnd(prefixRoot_);
  const std::string lockPath = prefixRoot_ + "/.kelvaro-registry.lock";
  Fd lock(open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  if (lock.fd < 0) return kErrorAccessDenied;
  if (FileOwner owner; OwnerOfFolderOf(lockPath, &owner)) GiveTo(lock.fd, owner);
  while (flock(lock.fd, LOCK_EX) != 0) {
    if (errno != EINTR) return kErrorAccessDenied;
  }
  // Another process may have written while this one waited for the lock.
  RegistryDocument* document = nullptr;
  std::string text;
  for (int attempt = 0;; ++attempt) {
    code = Current(true, &document);
    if (code != kErrorSuccess) return code == kErrorFileNotFound ? kErrorPathNotFound : code;
    // Nothing is written over a file that is damaged anywhere.
    if (uint32_t line = 0; !document->CheckAll(&line, &error_)) {
      if (Torn() && attempt < 2) continue;
      error_ = path_ + ", ligne " + std::to_string(line) + " : " + error_;
      return kErrorRegistryCorrupt;
    }
    code = change(*document);
    if (code != kErrorSuccess || !document->changed()) {
      // A refused change may have left the document half-way: read it again.
      if (document->changed()) state_ = State::Unread;
      return code;
    }
    if (wineOwnsTheFile) {
      handed.localMachine = fileName_ == "system.reg";
      return HandToWine(handed);
    }
    text = document->Serialize(Now());
    // Another program shrank the file while it was read: start again from
    // the file as it is now.
    if (!Torn()) break;
    if (attempt == 2) return kErrorWriteFault;
  }
  code = Save(text);
  state_ = State::Unread;  // parsed again from the new file at the next call
  if (code == kErrorSuccess) {
    RegistryDocument* fresh = nullptr;
    Current(true, &fresh);
  }
  return code;
}

uint32_t RegistryStore::HandToWine(const RegistryChange& change) {
  std::string reason;
  if (ImportIntoWine(prefixRoot_, change, &reason) != kErrorSuccess) {
    refusal_ = "Wine est en cours d'exécution dans ce préfixe et " + reason +
               " : fermez ses programmes, puis recommencez.";
    state_ = State::Unread;  // the view drops what Wine did not take
    return kErrorAccessDenied;
  }
  // Wine has the change and writes it to the file when it saves; until then
  // the document holds it, and the file Wine saves is read again.
  ++generation_;
  return kErrorSuccess;
}

uint32_t RegistryStore::Save(const std::string& text) {
  RemoveAbandonedTemporaries();
  std::string temp = prefixRoot_ + "/~kvtmp-" + fileName_ + "-XXXXXX";
  Fd fd(mkostemp(temp.data(), O_CLOEXEC));
  if (fd.fd < 0) return errno == ENOSPC ? kErrorDiskFull : kErrorAccessDenied;
  struct stat old {};
  const mode_t mode = stat(path_.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
  // Wine, run by the prefix's user, must still be able to save this file.
  if (FileOwner owner; OwnerFor(path_, &owner)) GiveTo(fd.fd, owner);
  bool ok = WriteAll(fd.fd, text) && fchmod(fd.fd, mode) == 0 && fsync(fd.fd) == 0;
  const int error = errno;
  ok = ok && close(fd.fd) == 0;
  fd.fd = -1;
  if (!ok || rename(temp.c_str(), path_.c_str()) != 0) {
    const int failure = ok ? errno : error;
    unlink(temp.c_str());
    return failure == ENOSPC ? kErrorDiskFull : kErrorWriteFault;
  }
  Fd folder(open(prefixRoot_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.fd >= 0) fsync(folder.fd);
  return kErrorSuccess;
}

void RegistryStore::RemoveAbandonedTemporaries() const {
  // Only a writer holding the file lock makes these files, and this process
  // holds it now: any that exist were left by a writer killed mid-save.
  DIR* dir = opendir(prefixRoot_.c_str());
  if (!dir) return;
  const std::string stem = "~kvtmp-" + fileName_ + "-";
  while (const dirent* entry = readdir(dir)) {
    if (std::strncmp(entry->d_name, stem.c_str(), stem.size()) == 0) unlink((prefixRoot_ + "/" + entry->d_name).c_str());
  }
  closedir(dir);
}

void RegistryLock::Wait(unsigned tries) {
  if (tries < 64) return;
  if (tries < 1024) {
    std::this_thread::yield();
    return;
  }
  std::this_thread::sleep_for(std::chrono::microseconds(50));
}

RegistryLock& RegistryMutex() {
  static RegistryLock lock;
  return lock;
}

std::shared_ptr<RegistryStore> StoreFor(bool localMachine) {
  // Kept to the very end of the process: the system takes the mappings
  // back at once when it ends, faster than unmapping them one by one.
  static auto& stores = *new std::map<std::string, std::shared_ptr<RegistryStore>>;
  const std::string root = Root();
  const char* file = localMachine ? "system.reg" : "user.reg";
  auto& store = stores[root + "/" + file];
  if (!store) {
    std::string header = std::string("WINE REGISTRY Version 2\n;; All keys relative to ") +
                         (localMachine ? "\\\\Machine" : "\\\\User\\\\S-1-5-21-0-0-0-1000") + "\n\n#arch=win64\n";
    store = std::make_shared<RegistryStore>(root, file, std::move(header));
  }
  return store;
}

}  // namespace platform::prefix

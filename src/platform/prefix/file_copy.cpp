// Whole files in and out: reads, atomic writes, copies and moves.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/files.h"
#include "platform/prefix/file_owner.h"
#include "platform/prefix/host_files.h"
#include "platform/prefix/host_text.h"
#include "platform/prefix/in_use.h"
#include "platform/prefix/prefix.h"
#include "platform/prefix/replacement_file.h"
#include "platform/prefix/win32_errors.h"

namespace platform {

using namespace prefix;

namespace {

constexpr size_t kCopyBlock = 1 << 20;

// A host descriptor closed with the object.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Opens an existing file for reading; folders are refused as Windows does.
bool OpenForReading(const String& path, std::string* host, int* fd, struct stat* status) {
  if (!ResolveExisting(path, host, status)) return false;
  if (S_ISDIR(status->st_mode)) return Fail(kErrorAccessDenied);
  *fd = open(host->c_str(), O_RDONLY | O_CLOEXEC);
  if (*fd < 0) return FailErrno(errno, *host, IoDirection::Reading);
  return true;
}

bool CopyBytes(int from, ReplacementFile* to, const std::string& sourceHost) {
  std::vector<char> buffer(kCopyBlock);
  for (;;) {
    const ssize_t count = read(from, buffer.data(), buffer.size());
    if (count == 0) return true;
    if (count < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      to->Abandon();
      return FailErrno(error, sourceHost, IoDirection::Reading);
    }
    if (!to->Write(buffer.data(), static_cast<size_t>(count))) return false;
  }
}

// Name given to the target, for a rename that changes only letter case:
// resolution finds the source itself under the target's spelling.
std::string SpelledTarget(const String& target, const std::string& resolvedTarget) {
  String name = target;
  for (char16_t& c : name) {
    if (c == u'/') c = u'\\';
  }
  name = name.substr(name.find_last_of(u"\\:") + 1);
  return FolderOf(resolvedTarget) + "/" + HostText(name);
}

// The permissions of a copy: a new file takes the source's; a replaced one
// keeps its own, so that whoever could write it still can, and only the
// read-only attribute comes from the source, as CopyFileW copies it.
mode_t CopyMode(const struct stat& source, const struct stat* replaced) {
  if (!replaced) return source.st_mode;
  mode_t mode = replaced->st_mode;
  if (IsReadOnlyMode(source.st_mode)) mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
  return mode;
}

bool CopyHostFile(const String& source, const std::string& targetHost, bool failIfExists) {
  std::string sourceHost;
  struct stat sourceStatus;
  int fd = -1;
  if (!OpenForReading(source, &sourceHost, &fd, &sourceStatus)) return false;
  Descriptor input(fd);
  struct stat existing;
  bool exists = false;
  if (!CheckReplaceableTarget(targetHost, failIfExists, &existing, &exists)) return false;
  // Copying a file onto itself: Windows finds the source open and refuses.
  if (exists && existing.st_dev == sourceStatus.st_dev && existing.st_ino == sourceStatus.st_ino) {
    return Fail(kErrorSharingViolation);
  }
  ReplacementFile output;
  if (!output.Create(targetHost, CopyMode(sourceStatus, exists ? &existing : nullptr))) return false;
  return CopyBytes(input.get(), &output, sourceHost) && output.SetLastWriteTime(sourceStatus.st_mtim) &&
         output.Commit(failIfExists);
}

// A replacement for the file at path, keeping its mode and owner.
bool OpenReplacement(const String& path, ReplacementFile* file) {
  std::string host;
  if (!ResolvePath(path, &host)) return false;
  struct stat existing;
  bool exists = false;
  if (!CheckReplaceableTarget(host, false, &existing, &exists)) return false;
  return file->Create(host, exists ? existing.st_mode : ReplacementFile::kNewFileMode);
}

}  // namespace

bool ReadFileContents(const String& path, std::string* bytes) {
  std::string host;
  struct stat st;
  int fd = -1;
  if (!OpenForReading(path, &host, &fd, &st)) return false;
  Descriptor input(fd);
  std::string content;
  content.reserve(static_cast<size_t>(st.st_size));
  char buffer[65536];
  for (;;) {
    const ssize_t count = read(input.get(), buffer, sizeof buffer);
    if (count == 0) break;
    if (count < 0) {
      if (errno == EINTR) continue;
      return FailErrno(errno, host, IoDirection::Reading);
    }
    content.append(buffer, static_cast<size_t>(count));
  }
  *bytes = std::move(content);
  return true;
}

bool WriteFileContents(const String& path, const std::string& bytes) {
  ReplacementFile file;
  return OpenReplacement(path, &file) && file.Write(bytes.data(), bytes.size()) && file.Commit(false);
}

bool CopyFile(const String& source, const String& target, bool failIfExists) {
  std::string targetHost;
  std::string ignored;
  if (!ResolvePath(source, &ignored) || !ResolvePath(target, &targetHost)) return false;
  return CopyHostFile(source, targetHost, failIfExists);
}

bool MoveFileReplace(const String& source, const String& target) {
  std::string sourceHost;
  struct stat sourceStatus;
  std::string targetHost;
  if (!ResolveExisting(source, &sourceHost, &sourceStatus) || !ResolvePath(target, &targetHost)) return false;
  if (targetHost == sourceHost) targetHost = SpelledTarget(target, targetHost);
  struct stat existing;
  if (stat(targetHost.c_str(), &existing) == 0 && existing.st_dev == sourceStatus.st_dev &&
      existing.st_ino == sourceStatus.st_ino) {
    // Another spelling of the source itself (a case-only rename).
    if (rename(sourceHost.c_str(), targetHost.c_str()) != 0) return FailErrno(errno, targetHost);
    return true;
  }
  bool exists = false;
  if (!CheckReplaceableTarget(targetHost, false, &existing, &exists)) return false;
  if (exists && S_ISDIR(sourceStatus.st_mode)) return Fail(kErrorAccessDenied);
  FileOwner owner;
  const bool ownerKnown = OwnerFor(targetHost, &owner);
  if (rename(sourceHost.c_str(), targetHost.c_str()) == 0) {
    if (ownerKnown) GiveTo(targetHost, owner);
    return true;
  }
  if (errno != EXDEV || S_ISDIR(sourceStatus.st_mode)) return FailErrno(errno, targetHost);
  // Drives on different host file systems: copy through a temporary file,
  // then remove the source, as MOVEFILE_COPY_ALLOWED does.
  if (!CopyHostFile(source, targetHost, false)) return false;
  if (unlink(sourceHost.c_str()) != 0) return FailErrno(errno, sourceHost);
  return true;
}

struct FileWriter::Impl {
  ReplacementFile file;
};

FileWriter::FileWriter() : impl_(new Impl) {}
FileWriter::~FileWriter() { delete impl_; }

bool FileWriter::Open(const String& path) {
  impl_->file.Abandon();
  return OpenReplacement(path, &impl_->file);
}

bool FileWriter::Write(const void* data, size_t size) { return impl_->file.Write(data, size); }

bool FileWriter::Commit() {
  if (!impl_->file.isOpen()) return Fail(kErrorInvalidHandle);
  // The target may have been opened, made read-only or turned into a folder
  // while the data was written.
  struct stat existing;
  bool exists = false;
  if (!CheckReplaceableTarget(impl_->file.target(), false, &existing, &exists)) {
    const uint32_t code = GetLastError();
    impl_->file.Abandon();
    return Fail(code);
  }
  return impl_->file.Commit(false);
}

void FileWriter::Abandon() { impl_->file.Abandon(); }
bool FileWriter::isOpen() const { return impl_->file.isOpen(); }

}  // namespace platform

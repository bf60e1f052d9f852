#include "platform/prefix/data_resources.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "platform/prefix/host_text.h"
#include "platform/prefix/prefix.h"
#include "platform/prefix/win32_errors.h"

namespace platform {
namespace prefix {
namespace {

std::mutex moduleMutex;
std::string moduleHostPath;  // empty: the running executable

// An open file descriptor, closed with the object.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Reads exactly count bytes at offset; false with the last error set on an
// I/O error or when the file ends first.
bool readAt(int fd, uint64_t offset, char* buffer, size_t count) {
  while (count > 0) {
    const ssize_t n = ::pread(fd, buffer, count, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      SetLastError(n < 0 ? kErrorReadFault : kErrorHandleEof);
      return false;
    }
    buffer += n;
    offset += n;
    count -= n;
  }
  return true;
}

std::shared_ptr<Fd> openModule(const std::string& hostPath) {
  const int fd = ::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    FailErrno(errno, hostPath, IoDirection::Reading);
    return nullptr;
  }
  return std::make_shared<Fd>(fd);
}

// What a container holds besides the blobs.
struct Directory {
  std::vector<BlobEntry> entries;
  uint64_t baseSize = 0;
  BlobTrailer trailer;
  std::string index;
  std::string trailerBytes;
  std::string signature;
};

// A file without the magic: a plain executable, or a packed one cut short.
bool checkPlainFile(int fd, uint64_t fileSize) {
  char head[64];
  if (fileSize < sizeof head) return true;
  if (!readAt(fd, 0, head, sizeof head)) return false;
  if (IsElfWithBytesAfterIt(head, sizeof head, fileSize)) return Fail(kErrorInvalidData);
  return true;
}

// Trailer, then index (and the signature when asked): the only bytes of the
// file a lookup reads before the blob it wants.
bool readDirectory(int fd, Directory* directory, bool withSignature) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return Fail(kErrorReadFault);
  const uint64_t fileSize = static_cast<uint64_t>(info.st_size);
  directory->baseSize = fileSize;
  char trailerBytes[kBlobTrailerSize];
  if (fileSize < kBlobTrailerSize) return true;
  if (!readAt(fd, fileSize - kBlobTrailerSize, trailerBytes, kBlobTrailerSize)) return false;
  if (!HasBlobMagic(trailerBytes)) return checkPlainFile(fd, fileSize);
  BlobTrailer& trailer = directory->trailer;
  uint32_t error = ParseBlobTrailer(trailerBytes, fileSize, &trailer);
  if (error == kErrorSuccess) {
    directory->index.resize(trailer.indexSize);
    if (!readAt(fd, trailer.indexOffset, directory->index.data(), directory->index.size())) return false;
    error = ParseBlobIndex(directory->index, trailer, &directory->entries);
  }
  if (error != kErrorSuccess) return Fail(error);
  directory->baseSize = trailer.baseSize;
  directory->trailerBytes.assign(trailerBytes, kBlobTrailerSize);
  if (withSignature && trailer.signatureSize > 0) {
    directory->signature.resize(trailer.signatureSize);
    if (!readAt(fd, trailer.indexOffset + trailer.indexSize, directory->signature.data(), directory->signature.size()))
      return false;
  }
  return true;
}

bool readDirectory(int fd, std::vector<BlobEntry>* entries, uint64_t* baseSize) {
  entries->clear();
  Directory directory;
  if (!readDirectory(fd, &directory, false)) return false;
  *entries = std::move(directory.entries);
  if (baseSize) *baseSize = directory.baseSize;
  return true;
}

class BlobData : public ResourceData {
 public:
  BlobData(std::shared_ptr<Fd> fd, uint64_t offset, uint64_t size)
      : fd_(std::move(fd)), offset_(offset), size_(size) {}
  uint64_t size() const override { return size_; }
  int64_t Read(uint64_t offset, void* buffer, size_t count) override {
    if (offset >= size_) return 0;
    if (count > size_ - offset) count = static_cast<size_t>(size_ - offset);
    if (!readAt(fd_->get(), offset_ + offset, static_cast<char*>(buffer), count)) return -1;
    return static_cast<int64_t>(count);
  }

 private:
  std::shared_ptr<Fd> fd_;
  uint64_t offset_;
  uint64_t size_;
};

bool isHostPath(const String& path) { return !path.empty() && path[0] == u'/'; }

}  // namespace

std::string ResourceModuleHostPath() {
  std::lock_guard<std::mutex> lock(moduleMutex);
  return moduleHostPath.empty() ? std::string("/proc/self/exe") : moduleHostPath;
}

bool ReadBlobDirectory(const std::string& hostPath, std::vector<BlobEntry>* entries, uint64_t* baseSize) {
  const std::shared_ptr<Fd> fd = openModule(hostPath);
  return fd && readDirectory(fd->get(), entries, baseSize);
}

bool ReadBlobSeal(const std::string& hostPath, ResourceSeal* seal) {
  *seal = ResourceSeal();
  const std::shared_ptr<Fd> fd = openModule(hostPath);
  Directory directory;
  if (!fd || !readDirectory(fd->get(), &directory, true)) return false;
  seal->hasDigests = !directory.trailerBytes.empty() && directory.trailer.version != kBlobContainerVersionWithoutDigests;
  for (const BlobEntry& entry : directory.entries) seal->resources.push_back({entry.name, entry.digest});
  seal->signedBytes = directory.index + directory.trailerBytes;
  seal->signature = std::move(directory.signature);
  return true;
}

std::unique_ptr<ResourceData> OpenBlob(const std::string& hostPath, const String& name) {
  const std::shared_ptr<Fd> fd = openModule(hostPath);
  std::vector<BlobEntry> entries;
  if (!fd || !readDirectory(fd->get(), &entries, nullptr)) return nullptr;
  for (const BlobEntry& entry : entries) {
    if (BlobNamesEqual(entry.name, name)) return std::make_unique<BlobData>(fd, entry.offset, entry.size);
  }
  SetLastError(kErrorResourceNameNotFound);
  return nullptr;
}

}  // namespace prefix

bool SetResourceModule(const String& path) {
  std::string hostPath;
  if (!path.empty()) {
    if (prefix::isHostPath(path)) {
      hostPath = prefix::HostText(path);
    } else if (!prefix::ResolvePath(path, &hostPath)) {
      return false;
    }
    struct stat info {};
    if (::stat(hostPath.c_str(), &info) != 0) return prefix::FailErrno(errno, hostPath, prefix::IoDirection::Reading);
    if (!S_ISREG(info.st_mode)) return prefix::Fail(kErrorAccessDenied);
  }
  std::lock_guard<std::mutex> lock(prefix::moduleMutex);
  prefix::moduleHostPath = hostPath;
  return true;
}

std::unique_ptr<ResourceData> FindDataResource(const String& name) {
  return prefix::OpenBlob(prefix::ResourceModuleHostPath(), name);
}

bool ReadResourceSeal(ResourceSeal* seal) { return prefix::ReadBlobSeal(prefix::ResourceModuleHostPath(), seal); }

std::vector<String> ListDataResources() {
  std::vector<prefix::BlobEntry> entries;
  std::vector<String> names;
  if (!prefix::ReadBlobDirectory(prefix::ResourceModuleHostPath(), &entries)) return names;
  for (const prefix::BlobEntry& entry : entries) names.push_back(entry.name);
  return names;
}

}  // namespace platform

#include "platform/prefix/win32_errors.h"

#include <sys/stat.h>

#include <cerrno>

namespace platform::prefix {
namespace {

constexpr uint32_t kErrorNotSameDevice = 17;
constexpr uint32_t kErrorTooManyOpenFiles = 4;

bool FolderOfExists(const std::string& hostPath) {
  const size_t slash = hostPath.find_last_of('/');
  if (slash == std::string::npos) return false;
  const std::string folder = slash == 0 ? "/" : hostPath.substr(0, slash);
  struct stat st;
  return stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

uint32_t Win32FromErrno(int error, const std::string& hostPath, IoDirection direction) {
  switch (error) {
    case 0: return kErrorSuccess;
    case ENOENT: return FolderOfExists(hostPath) ? kErrorFileNotFound : kErrorPathNotFound;
    case ENOTDIR:
    case ELOOP: return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return kErrorAccessDenied;
    case EEXIST: return kErrorAlreadyExists;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return kErrorDiskFull;
    case ENOTEMPTY: return kErrorDirNotEmpty;
    case ENAMETOOLONG: return kErrorFilenameExcedRange;
    case EBUSY:
    case ETXTBSY: return kErrorSharingViolation;
    case ENOMEM: return kErrorNotEnoughMemory;
    case EINVAL: return kErrorInvalidParameter;
    case EXDEV: return kErrorNotSameDevice;
    case EMFILE:
    case ENFILE: return kErrorTooManyOpenFiles;
    case ENXIO:
    case ENODEV:
    case ENOMEDIUM: return kErrorNotReady;
    default: return direction == IoDirection::Reading ? kErrorReadFault : kErrorWriteFault;
  }
}

bool Fail(uint32_t code) {
  SetLastError(code);
  return false;
}

bool FailErrno(int error, const std::string& hostPath, IoDirection direction) {
  return Fail(Win32FromErrno(error, hostPath, direction));
}

}  // namespace platform::prefix

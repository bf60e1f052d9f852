// Windows types, constants and the last-error slot shared by every platform
// service.
//
// The platform layer speaks Win32: paths are Windows paths in UTF-16
// (std::u16string), failures are Win32 error codes. Functions that return a
// success flag leave the reason in the calling thread's last error, exactly as
// GetLastError() would; registry functions return their code directly, as the
// Reg* family does. Nothing here throws for an ordinary failure.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

using String = std::u16string;

// A FILETIME as one number: 100-nanosecond intervals since 1601-01-01 UTC.
using FileTime = uint64_t;

// Seconds between 1601-01-01 and 1970-01-01.
inline constexpr uint64_t kUnixEpochInFileTimeSeconds = 11644473600ULL;

// Win32 error codes this program meets.
enum ErrorCode : uint32_t {
  kErrorSuccess = 0,
  kErrorInvalidFunction = 1,
  kErrorFileNotFound = 2,
  kErrorPathNotFound = 3,
  kErrorAccessDenied = 5,
  kErrorInvalidHandle = 6,
  kErrorNotEnoughMemory = 8,
  kErrorBadFormat = 11,
  kErrorInvalidData = 13,
  kErrorNotSameDevice = 17,
  kErrorNoMoreFiles = 18,
  kErrorNotReady = 21,
  kErrorWriteFault = 29,
  kErrorReadFault = 30,
  kErrorSharingViolation = 32,
  kErrorLockViolation = 33,
  kErrorHandleEof = 38,
  kErrorHandleDiskFull = 39,
  kErrorNotSupported = 50,
  kErrorFileExists = 80,
  kErrorInvalidParameter = 87,
  kErrorDiskFull = 112,
  kErrorInsufficientBuffer = 122,
  kErrorInvalidName = 123,
  kErrorInvalidLevel = 124,
  kErrorDirNotEmpty = 145,
  kErrorBadPathname = 161,
  kErrorAlreadyExists = 183,
  kErrorBadExeFormat = 193,
  kErrorFilenameExcedRange = 206,
  kErrorMoreData = 234,
  kErrorNoMoreItems = 259,
  kErrorDirectory = 267,
  kErrorInvalidAddress = 487,
  kErrorBadConfiguration = 1610,
  kErrorResourceDataNotFound = 1812,
  kErrorResourceTypeNotFound = 1813,
  kErrorResourceNameNotFound = 1814,
  kErrorRegistryCorrupt = 1015,
  kErrorBadDatabase = 1009,
  kErrorKeyDeleted = 1018,
  kErrorNotLoggedOn = 1245,
  kErrorInvalidFlags = 1004,
};

// The calling thread's last error, as GetLastError / SetLastError.
uint32_t GetLastError();
void SetLastError(uint32_t code);

}  // namespace platform

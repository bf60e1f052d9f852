// Host errno values as the Win32 codes Windows gives for the same failure.
#pragma once

#include <string>

#include "platform/win_types.h"

namespace platform::prefix {

enum class IoDirection { Reading, Writing };

// ENOENT depends on the folder: 2 when the folder of hostPath exists (only
// the file is missing), 3 when the folder itself is missing. EEXIST gives
// kErrorAlreadyExists; calls that Windows answers with kErrorFileExists map
// it themselves. An I/O error is a read or a write fault by direction.
uint32_t Win32FromErrno(int error, const std::string& hostPath, IoDirection direction = IoDirection::Writing);

// Sets the last error and returns false, so that failures read as one line.
bool Fail(uint32_t code);
bool FailErrno(int error, const std::string& hostPath, IoDirection direction = IoDirection::Writing);

}  // namespace platform::prefix

// On Windows the last error is the system's own.
#include "platform/win32/windows_api.h"

#include "platform/win_types.h"

namespace platform {

uint32_t GetLastError() { return ::GetLastError(); }
void SetLastError(uint32_t code) { ::SetLastError(code); }

}  // namespace platform

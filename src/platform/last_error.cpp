// The last-error slot: one per thread, as the system keeps it.
#include "platform/win_types.h"

namespace platform {

namespace {
thread_local uint32_t lastError = kErrorSuccess;
}

uint32_t GetLastError() { return lastError; }
void SetLastError(uint32_t code) { lastError = code; }

}  // namespace platform

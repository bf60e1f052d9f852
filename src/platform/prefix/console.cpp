// Whether standard error is a terminal.
#include <unistd.h>

#include "platform/system.h"

namespace platform {

bool StandardErrorIsConsole() { return isatty(STDERR_FILENO) == 1; }

}  // namespace platform

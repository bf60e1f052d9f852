// Event handlers of the windows run through RunHandler: Qt lets no exception
// cross its event loop, so this is the top-level handler that shows what
// escaped a handler and lets the program go on.
#pragma once

#include <functional>

namespace kelvaro {

// Runs handler. An error that leaves it is shown in the standard error box
// with its message; the silent abort ends the handler without a message.
void RunHandler(const std::function<void()>& handler);

}  // namespace kelvaro

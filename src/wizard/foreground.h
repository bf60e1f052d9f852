// Bringing the wizard's window in front of the others.
#pragma once

class QWidget;

namespace kelvaro {

// Restores window when minimised, raises it and asks for it to become the
// active window. True when it is the active window afterwards; a window
// system that refuses the change only yields false.
bool ForceForegroundWindow(QWidget* window);

}  // namespace kelvaro

// Making the wizard's application object where no display can be opened (no
// DISPLAY or WAYLAND_DISPLAY, or one that cannot be reached): Qt reports it
// as a fatal message and would abort, leaving a core file and a message that
// says nothing of what to do. While the guard lives, that fatal message ends
// the program instead, at once, with one French line on standard error (how
// to run the update unattended) and the exit code kExitNoDisplay; nothing has
// been changed by then. Qt's other messages of that moment are held back and
// printed when the guard goes, once the start has succeeded.
#pragma once

#include <QString>

namespace app {

class GuiStartGuard {
 public:
  explicit GuiStartGuard(const QString& programName);
  ~GuiStartGuard();
  GuiStartGuard(const GuiStartGuard&) = delete;
  GuiStartGuard& operator=(const GuiStartGuard&) = delete;
};

}  // namespace app

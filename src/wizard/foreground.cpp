#include "wizard/foreground.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QWidget>

namespace kelvaro {
namespace {

// Activation comes back from the window system as an event; give it a short
// while to arrive rather than answering before it could.
constexpr int kActivationWaitMs = 200;

bool WaitUntilActive(QWidget* window) {
  QDeadlineTimer deadline(kActivationWaitMs);
  while (!window->isActiveWindow() && !deadline.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
  }
  return window->isActiveWindow();
}

}  // namespace

bool ForceForegroundWindow(QWidget* window) {
  if (!window) return false;
  window = window->window();
  if (window->isMinimized()) window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
  if (window->isVisible() && window->isActiveWindow()) return true;
  window->raise();
  window->activateWindow();
  return WaitUntilActive(window);
}

}  // namespace kelvaro

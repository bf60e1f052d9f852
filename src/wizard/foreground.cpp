#include "wizard/foreground.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace kelvaro {
namespace {

// Activation comes back from the window system as an event; give it a short
// while to arrive rather than answering before it could.
constexpr int kActivationWaitMs = 200;

// Waits in the event loop, without spinning: a window system that never
// activates the window (no window manager, or one that refuses) costs the
// wait and no processor time.
bool WaitUntilActive(QWidget* window) {
  if (window->isActiveWindow()) return true;
  QEventLoop loop;
  QTimer::singleShot(kActivationWaitMs, &loop, &QEventLoop::quit);
  const QMetaObject::Connection activation =
      QObject::connect(qApp, &QGuiApplication::focusWindowChanged, &loop, [&loop, window] {
        if (window->isActiveWindow()) loop.quit();
      });
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  QObject::disconnect(activation);
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

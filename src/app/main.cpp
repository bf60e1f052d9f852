// The wizard's entry: one copy at a time, the windows and the engine created
// in a fixed order, then the event loop. It reads no arguments: what it
// updates is what it carries.
//
// KELVARO_STARTUP_PROBE: when this environment variable is set, the program
// prints "welcome-shown <ns>" on standard output (ns: the monotonic clock,
// CLOCK_MONOTONIC, in nanoseconds) once the welcome page has been painted for
// the first time, and quits. bench/startup_bench.cpp uses it to time the start-up.
#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <chrono>
#include <cstdio>

#include "font_config_warm_up.h"
#include "support/one_instance.h"
#include "support/user_seam.h"
#include "wizard/french_translations.h"
#include "wizard/main_window.h"
#include "wizard/program_windows.h"
#include "wizard/qt_user.h"
#include "wizard/welcome_page.h"

using namespace kelvaro;

namespace {

// Reports the first paint of the widget it watches once that paint is done
// (one more turn of the loop), then quits.
class FirstPaintProbe : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Paint) return false;
    watched->removeEventFilter(this);
    QTimer::singleShot(0, [] {
      const auto now = std::chrono::steady_clock::now().time_since_epoch();
      std::printf("welcome-shown %lld\n",
                  static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
      std::fflush(stdout);
      QCoreApplication::quit();
    });
    return false;
  }
};

void InstallStartupProbe() {
  if (qEnvironmentVariableIsEmpty("KELVARO_STARTUP_PROBE") || !frmMain) return;
  QObject::connect(frmMain, &TfrmMain::stepShown, frmMain, [](TFrmStep* page) {
    if (page == frmWelcome) page->installEventFilter(new FirstPaintProbe(page));
  });
}

}  // namespace

int main(int argc, char** argv) {
  // Starts reading the font configuration beside the making of the
  // application object; the first window waits for it below.
  FontConfigWarmUp fontConfig;
  QApplication app(argc, argv);
  InstallFrenchTranslations(app);
  if (AlreadyRunning()) return 0;
  QtUser user;
  SetUser(&user);

  fontConfig.wait();
  CreateProgramWindows();
  InstallStartupProbe();

  if (frmMain) {
    frmMain->show();
    app.exec();
  }

  DestroyProgramWindows();
  SetUser(nullptr);
  return 0;
}

// The wizard's entry: one copy at a time, the windows and the engine created
// in a fixed order, then the event loop. It reads no arguments: what it
// updates is what it carries. Started as another user than the prefix's
// owner it says why (standard error and an error box) and ends with
// kExitForeignInstallation, having changed nothing.
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
#include <functional>

#include "engine/update_common.h"
#include "font_config_warm_up.h"
#include "support/errors.h"
#include "support/installation_owner.h"
#include "support/one_instance.h"
#include "support/user_seam.h"
#include "wizard/display_file_page.h"
#include "wizard/end_install_page.h"
#include "wizard/french_translations.h"
#include "wizard/main_window.h"
#include "wizard/qt_user.h"
#include "wizard/welcome_page.h"

using namespace kelvaro;

namespace {

// A failure while one window or the engine is made is shown, and start-up
// goes on with the next one.
template <typename T>
T* Create(const std::function<T*()>& make) {
  try {
    return make();
  } catch (const SilentAbort&) {
  } catch (const Error& error) {
    ShowErrorMessage(error.message());
  } catch (const std::exception& error) {
    ShowErrorMessage(QString::fromLocal8Bit(error.what()));
  }
  return nullptr;
}

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
  if (const QString refusal = ForeignInstallationRefusal(); !refusal.isEmpty()) {
    std::fprintf(stderr, "%s\n", refusal.toUtf8().constData());
    ShowErrorMessage(refusal);
    SetUser(nullptr);
    return kExitForeignInstallation;
  }

  fontConfig.wait();
  frmMain = Create<TfrmMain>([] { return new TfrmMain; });
  frmWelcome = Create<TfrmWelcome>([] { return new TfrmWelcome; });
  frmEndInstall = Create<TfrmEndInstall>([] { return new TfrmEndInstall; });
  dmUpdateCommon = Create<TdmUpdateCommon>([] { return new TdmUpdateCommon; });
  frmDisplayFile = Create<TfrmDisplayFile>([] { return new TfrmDisplayFile; });
  InstallStartupProbe();

  if (frmMain) {
    frmMain->show();
    app.exec();
  }

  // The pages first: the window holds the current one in its page area.
  delete frmDisplayFile;
  delete dmUpdateCommon;
  delete frmEndInstall;
  delete frmWelcome;
  delete frmMain;
  frmDisplayFile = nullptr;
  dmUpdateCommon = nullptr;
  frmEndInstall = nullptr;
  frmWelcome = nullptr;
  frmMain = nullptr;
  SetUser(nullptr);
  return 0;
}

// The wizard's entry: one copy at a time, the windows and the engine created
// in a fixed order, then the event loop. What it updates is what it carries;
// its arguments only choose how (wizard_arguments.h): without any, the
// wizard; asked to, the same run as kelvaro-update-batch, without windows.
// Started as another user than the prefix's owner it says why (standard
// error and an error box, or the console) and ends with
// kExitForeignInstallation, having changed nothing.
//
// KELVARO_STARTUP_PROBE: when this environment variable is set, the program
// prints "welcome-shown <ns>" on standard output (ns: the monotonic clock,
// CLOCK_MONOTONIC, in nanoseconds) once the welcome page has been painted for
// the first time, and quits. bench/startup_bench.cpp uses it to time the start-up.
#include <QApplication>
#include <QEvent>
#include <QFileInfo>
#include <QTimer>
#include <chrono>
#include <cstdio>

#include "font_config_warm_up.h"
#include "gui_start_guard.h"
#include "engine/update_run.h"
#include "support/errors.h"
#include "support/installation_owner.h"
#include "support/one_instance.h"
#include "support/user_seam.h"
#include "unattended/unattended_run.h"
#include "wizard/french_translations.h"
#include "wizard/main_window.h"
#include "wizard/program_windows.h"
#include "wizard/qt_user.h"
#include "wizard/welcome_page.h"
#include "wizard_arguments.h"

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

void Print(std::FILE* stream, const QString& text) {
  const QByteArray bytes = text.toUtf8();
  std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

// The update this executable carries, run as kelvaro-update-batch runs it.
int RunUnattended(int argc, char** argv, const app::WizardCommand& command) {
  QCoreApplication app(argc, argv);
  unattended::Options options;
  options.update = QCoreApplication::applicationFilePath();
  options.answer = command.answer;
  options.dryRun = command.dryRun;
  options.json = command.json;
  return unattended::RunUnattended(options);
}

int RunWizard(int argc, char** argv, const QString& programName) {
  // Declared first, so destroyed last: on every way out the reading of the
  // font configuration has ended before the application object goes.
  std::unique_ptr<QApplication> made;
  // Starts reading the font configuration beside the making of the
  // application object; the first window waits for it below.
  FontConfigWarmUp fontConfig;
  {
    const app::GuiStartGuard guard(programName);
    made = std::make_unique<QApplication>(argc, argv);
  }
  QApplication& app = *made;
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

  // What an interrupted update left is undone before anything is shown;
  // the report of the next run says so.
  RestoreEarlierRunAtStart();
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

}  // namespace

int main(int argc, char** argv) {
  QStringList args;
  for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
  const QString programName = QFileInfo(QString::fromLocal8Bit(argc > 0 ? argv[0] : "")).fileName();
  const app::WizardCommand command = app::ParseWizardArguments(args);
  switch (command.mode) {
    case app::Mode::Wizard:
      return RunWizard(argc, argv, programName);
    case app::Mode::Unattended:
      return RunUnattended(argc, argv, command);
    case app::Mode::Help:
      Print(stdout, app::WizardUsage(programName));
      return 0;
    case app::Mode::Refused:
      Print(stderr, programName + QStringLiteral(" : ") + command.error + QStringLiteral("\n\n") +
                        app::WizardUsage(programName));
      return unattended::kExitUsage;
  }
  return unattended::kExitUsage;
}

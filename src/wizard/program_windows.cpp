#include "wizard/program_windows.h"

#include <QString>
#include <exception>

#include "engine/update_common.h"
#include "support/errors.h"
#include "support/user_seam.h"
#include "wizard/display_file_page.h"
#include "wizard/end_install_page.h"
#include "wizard/main_window.h"
#include "wizard/welcome_page.h"

namespace kelvaro {
namespace {

// A failure while one is made is shown, and start-up goes on with the next.
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

}  // namespace

ProgramWindowMakers DefaultWindowMakers() {
  return {[] { return new TfrmMain; }, [] { return new TfrmWelcome; }, [] { return new TfrmEndInstall; },
          [] { return new TdmUpdateCommon; }, [] { return new TfrmDisplayFile; }};
}

void CreateProgramWindows(const ProgramWindowMakers& makers) {
  frmMain = Create(makers.main);
  frmWelcome = Create(makers.welcome);
  frmEndInstall = Create(makers.endInstall);
  dmUpdateCommon = Create(makers.engine);
  frmDisplayFile = Create(makers.displayFile);
}

void DestroyProgramWindows() {
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
}

}  // namespace kelvaro

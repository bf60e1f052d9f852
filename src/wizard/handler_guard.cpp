#include "wizard/handler_guard.h"

#include <QString>
#include <exception>

#include "support/errors.h"
#include "support/user_seam.h"

namespace kelvaro {

void RunHandler(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const SilentAbort&) {
  } catch (const Error& error) {
    ShowErrorMessage(error.message());
  } catch (const std::exception& error) {
    ShowErrorMessage(QString::fromLocal8Bit(error.what()));
  }
}

}  // namespace kelvaro

#include "font_config_warm_up.h"

#include <fontconfig/fontconfig.h>

#include <clocale>

namespace kelvaro {
namespace {

std::thread StartLoading() {
  // The application object takes the locale from the environment as it
  // starts. Taking it here first means the configuration's numbers are read
  // under the locale the process keeps, never while it switches.
  std::setlocale(LC_ALL, "");
  return std::thread([] { FcInit(); });
}

}  // namespace

FontConfigWarmUp::FontConfigWarmUp() : thread_(StartLoading()) {}

FontConfigWarmUp::~FontConfigWarmUp() { wait(); }

void FontConfigWarmUp::wait() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace kelvaro

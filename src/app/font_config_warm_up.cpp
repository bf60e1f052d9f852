#include "font_config_warm_up.h"

#include <fontconfig/fontconfig.h>

#include <clocale>

namespace kelvaro {
namespace {

bool HasCacheFolder(FcConfig* config) {
  FcStrList* folders = FcConfigGetCacheDirs(config);
  if (!folders) return false;
  const bool any = FcStrListNext(folders) != nullptr;
  FcStrListDone(folders);
  return any;
}

std::thread StartLoading() {
  // The application object takes the locale from the environment as it
  // starts. Taking it here first means the configuration's numbers are read
  // under the locale the process keeps, never while it switches.
  std::setlocale(LC_ALL, "");
  return std::thread([] { LoadSystemFontConfig(); });
}

}  // namespace

bool LoadSystemFontConfig() {
  bool own = false;
  FcConfig* config = FcConfigCreate();
  // Quietly: where this fails, FcInit below tries again and says why.
  if (config && FcConfigParseAndLoad(config, nullptr, FcFalse) && HasCacheFolder(config) &&
      FcConfigBuildFonts(config)) {
    own = FcConfigSetCurrent(config);  // the library keeps its own reference
  }
  if (config) FcConfigDestroy(config);
  FcInit();  // no work once a configuration is current
  return own;
}

FontConfigWarmUp::FontConfigWarmUp() : thread_(StartLoading()) {}

FontConfigWarmUp::~FontConfigWarmUp() { wait(); }

void FontConfigWarmUp::wait() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace kelvaro

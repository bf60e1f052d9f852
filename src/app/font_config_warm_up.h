// Loads the system's font configuration on a second thread while the
// application object is made.
//
// Reading the font configuration (a few dozen XML files) is the largest
// single cost of the wizard's start-up, and the first window that measures a
// text waits for it. It needs nothing of Qt, so it can start with the
// process; Qt then finds it loaded. The configuration is the one FcInit
// reads, only earlier and beside other work (see LoadSystemFontConfig).
#pragma once

#include <thread>

namespace kelvaro {

// Makes the system's font configuration, with its fonts, the current one, as
// FcInit does, less one step: FcInit also parses every file of fontconfig's
// template folder (conf.avail, some forty files) only to keep their
// descriptions for listing tools. Nothing in them applies unless conf.d
// links them, and those links are read either way; the step is a third of
// FcInit's time. A configuration that cannot be loaded, or that names no
// cache folder, is left to FcInit and its fallbacks. True when this load
// became current, false when FcInit's did.
bool LoadSystemFontConfig();

class FontConfigWarmUp {
 public:
  FontConfigWarmUp();
  // Waits for the thread: the configuration is then in place.
  ~FontConfigWarmUp();
  FontConfigWarmUp(const FontConfigWarmUp&) = delete;
  FontConfigWarmUp& operator=(const FontConfigWarmUp&) = delete;

  // Waits until the configuration is loaded. Called before the first font is
  // asked for: a second, concurrent load would only double the work.
  void wait();

 private:
  std::thread thread_;
};

}  // namespace kelvaro

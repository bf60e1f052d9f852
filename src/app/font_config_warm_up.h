// Loads the system's font configuration on a second thread while the
// application object is made.
//
// Reading the font configuration (a few dozen XML files) is the largest
// single cost of the wizard's start-up, and the first window that measures a
// text waits for it. It needs nothing of Qt, so it can start with the
// process; Qt then finds it loaded. Nothing is skipped: the same
// configuration is read, only earlier and beside other work.
#pragma once

#include <thread>

namespace kelvaro {

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

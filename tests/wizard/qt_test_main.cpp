// Entry of wizard_tests: the widgets under test need one QApplication for
// the whole run (offscreen platform, set by the test's environment).
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // CTest lists the cases by running this program without the test's
  // environment: without a display, offscreen is the only platform anyway.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}

// Entry of wizard_tests: the widgets under test need one QApplication for
// the whole run (offscreen platform, set by the test's environment).
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}

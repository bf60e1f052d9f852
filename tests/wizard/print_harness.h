// Printing from the wizard's pages in tests. The test machine has no
// printer, so the printer set-up dialog proposes a PDF in the home folder
// named after the document title; the fixture points HOME at a temporary
// folder, clicks a page's print button and answers the dialog.
#pragma once

#include <QDir>
#include <QPrintDialog>
#include <QPrinter>
#include <QStandardPaths>
#include <QToolButton>

#include "wizard_harness.h"

namespace wizard_test {

class PrintingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"pdftotext", "pdfimages"}) {
      if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
        GTEST_SKIP() << tool << " (poppler-utils) is not installed";
      }
    }
    savedHome_ = qgetenv("HOME");
    qputenv("HOME", QByteArray::fromStdString(home_.path()));
  }
  void TearDown() override { qputenv("HOME", savedHome_); }

  // Clicks a print button and answers the printer set-up dialog; returns
  // the file the dialog proposed.
  QString PrintWith(QToolButton* button, bool accept) {
    QString proposed;
    WhenModalShows([&](QWidget* modal) {
      auto* dialog = qobject_cast<QPrintDialog*>(modal);
      if (!dialog) {
        modal->close();
        return;
      }
      proposed = dialog->printer()->outputFileName();
      accept ? dialog->accept() : dialog->reject();
    });
    QTest::mouseClick(button, Qt::LeftButton);
    Wizard::WaitForIdle();
    return proposed;
  }

  QString Home(const QString& name) const { return QDir(QString::fromStdString(home_.path())).filePath(name); }

 private:
  fixtures::TempDir home_;
  QByteArray savedHome_;
};

}  // namespace wizard_test

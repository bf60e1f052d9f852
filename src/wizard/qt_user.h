// The person in front of the wizard, reached through Qt: message boxes, the
// wait cursor, Delay, folder and file choosers and the printer set-up.
#pragma once

#include <QObject>
#include <memory>

#include "support/user_seam.h"

class QPrinter;

namespace kelvaro {

class QtUser : public QObject, public UserSeam {
 public:
  // Needs a QApplication.
  QtUser();
  ~QtUser() override;

  bool ShowMessage(MessageKind kind, const QString& text, const QString& caption) override;
  void Beep(BeepType type) override;
  // Sets or removes the application's wait cursor. Removing only undoes our
  // own: a cursor someone else set stays.
  void SetWaitCursor(bool waiting) override;
  // ms > 0 handles events while waiting and stops early once the application
  // is asked to quit; ms < 0 waits |ms| without handling events.
  void Delay(int ms) override;
  // folder and the chosen folder are Windows paths; the dialog shows the
  // host folders they stand for.
  bool BrowseForFolder(const QString& title, QString* folder) override;
  bool OpenFile(const QString& title, const QString& folder, const QString& filter,
                QString* file) override;
  bool PrinterSetup() override;

  // The printer chosen in the last printer set-up, for the pages that print.
  // Made on first use: setting up a printer loads the print system, which a
  // run that never prints should not wait for at start-up.
  QPrinter* printer();
  // Whether the application was asked to quit since this object was made.
  bool quitRequested() const { return quitRequested_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::unique_ptr<QPrinter> printer_;
  bool waitCursorSet_ = false;
  bool quitRequested_ = false;
};

}  // namespace kelvaro

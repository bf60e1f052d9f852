// TfrmWelcome: the first page, with the warning to close the programs of the
// family (blinking while the page is shown) and what the update will do.
#pragma once

#include "wizard/step_page.h"

class QLabel;
class QTimer;

namespace kelvaro {

class TfrmWelcome : public TFrmStep {
  Q_OBJECT

 public:
  TfrmWelcome();

  // Fills the two labels: title is the update's title ("?" when empty),
  // extra the text added below the standard sentences.
  void SetTexts(const QString& title, const QString& extra);

  static const QColor kMaroon;
  static const QColor kRed;

  QLabel* LabelWarning;
  QLabel* LabelInfo;
  QTimer* TimerBlink;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void FormShow();
  void FormHide();
  void FormResize();
  void TimerBlinkTimer();
  void SetWarningColour(const QColor& colour);
};

extern TfrmWelcome* frmWelcome;

}  // namespace kelvaro

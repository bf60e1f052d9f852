// TfrmEndInstall: the report page. The update engine writes its report into
// RichEditReport while the update runs; its Next button ("Quitter") ends the
// program.
#pragma once

#include <QPrinter>
#include <memory>

#include "wizard/step_page.h"

class QLabel;
class QToolButton;

namespace kelvaro {

class ReportTextEdit;

class TfrmEndInstall : public TFrmStep {
  Q_OBJECT

 public:
  TfrmEndInstall();

  void Init() override;
  QString GetNextCaption() override;

  // The printer chosen in the printer set-up, shared by the pages that
  // print: a second print starts from the first one's choice.
  // Made on first use: setting up a printer asks the printing system, which
  // the wizard's start need not wait for.
  QPrinter* PrinterSetupDialog();

  QLabel* PanelButtons;
  QToolButton* SpeedButtonPrint;
  QWidget* PanelMain;
  ReportTextEdit* RichEditReport;

 private:
  void SpeedButtonPrintClick();

  std::unique_ptr<QPrinter> mPrinter;
};

extern TfrmEndInstall* frmEndInstall;

}  // namespace kelvaro

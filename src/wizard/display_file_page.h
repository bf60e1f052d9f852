// TfrmDisplayFile: the list of changes the update brings, shown before it
// starts; its Next button ("Démarrer") starts the update.
#pragma once

#include "wizard/step_page.h"

class QLabel;
class QTextEdit;
class QToolButton;

namespace kelvaro {

class TfrmDisplayFile : public TFrmStep {
  Q_OBJECT

 public:
  TfrmDisplayFile();

  QString GetNextCaption() override;

  QLabel* PanelButtons;
  QToolButton* SpeedButtonPrint;
  QTextEdit* RichEditFile;

 private:
  void SpeedButtonPrintClick();
};

extern TfrmDisplayFile* frmDisplayFile;

}  // namespace kelvaro

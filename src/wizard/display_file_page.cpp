#include "wizard/display_file_page.h"

#include <QLabel>
#include <QTextEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include "wizard/end_install_page.h"
#include "wizard/handler_guard.h"
#include "wizard/page_header.h"
#include "wizard/print_document.h"

namespace kelvaro {

TfrmDisplayFile* frmDisplayFile = nullptr;

TfrmDisplayFile::TfrmDisplayFile() : TFrmStep(QStringLiteral("frmDisplayFile")) {
  FormCreate();
  setFont(QFont());  // the font of the page area it is placed in

  const PageHeader header = MakePageHeader(this, 11);
  PanelButtons = header.panel;
  SpeedButtonPrint = header.printButton;
  PanelButtons->setText(QStringLiteral("La liste des modifications"));

  RichEditFile = new QTextEdit(this);
  RichEditFile->setObjectName(QStringLiteral("RichEditFile"));
  RichEditFile->setReadOnly(true);
  RichEditFile->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  RichEditFile->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setPixelSize(9);
  RichEditFile->setFont(font);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(PanelButtons);
  layout->addWidget(RichEditFile, 1);

  connect(SpeedButtonPrint, &QToolButton::clicked, this, [this] { RunHandler([this] { SpeedButtonPrintClick(); }); });
}

QString TfrmDisplayFile::GetNextCaption() { return QStringLiteral("Démarrer"); }

void TfrmDisplayFile::SpeedButtonPrintClick() {
  // The printer set-up belongs to the report page, so both pages print on
  // the printer last chosen.
  QPrinter fallback;
  QPrinter* printer = frmEndInstall ? frmEndInstall->PrinterSetupDialog() : &fallback;
  PrintWithSetup(printer, *RichEditFile->document(), PanelButtons->text(), this);
}

}  // namespace kelvaro

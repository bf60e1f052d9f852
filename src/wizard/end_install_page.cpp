#include "wizard/end_install_page.h"

#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

#include "wizard/handler_guard.h"
#include "wizard/page_header.h"
#include "wizard/print_document.h"
#include "wizard/report_text_edit.h"

namespace kelvaro {

TfrmEndInstall* frmEndInstall = nullptr;

TfrmEndInstall::TfrmEndInstall() : TFrmStep(QStringLiteral("frmEndInstall")) {
  FormCreate();
  setFont(QFont());  // the font of the page area it is placed in

  const PageHeader header = MakePageHeader(this, 17);
  PanelButtons = header.panel;
  SpeedButtonPrint = header.printButton;

  PanelMain = new QWidget(this);
  PanelMain->setObjectName(QStringLiteral("PanelMain"));
  RichEditReport = new ReportTextEdit(PanelMain);
  RichEditReport->setObjectName(QStringLiteral("RichEditReport"));
  RichEditReport->setReadOnly(true);
  RichEditReport->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setPixelSize(13);
  RichEditReport->setFont(font);
  auto* mainLayout = new QVBoxLayout(PanelMain);
  mainLayout->setContentsMargins(0, 0, 0, 0);
  mainLayout->addWidget(RichEditReport);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(PanelButtons);
  layout->addWidget(PanelMain, 1);
  // The report control is the page's active control.
  setFocusProxy(RichEditReport);

  connect(SpeedButtonPrint, &QToolButton::clicked, this, [this] { RunHandler([this] { SpeedButtonPrintClick(); }); });
}

void TfrmEndInstall::Init() {
  TFrmStep::Init();
  PanelButtons->setText(QStringLiteral("Rapport d'installation"));
}

QPrinter* TfrmEndInstall::PrinterSetupDialog() {
  if (!mPrinter) mPrinter = std::make_unique<QPrinter>();
  return mPrinter.get();
}

QString TfrmEndInstall::GetNextCaption() { return QStringLiteral("Quitter"); }

void TfrmEndInstall::SpeedButtonPrintClick() {
  PrintWithSetup(PrinterSetupDialog(), *RichEditReport->document(), QStringLiteral("Update report"), this);
}

}  // namespace kelvaro

#include "wizard/print_document.h"

#include <QDir>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTextDocument>

namespace kelvaro {
namespace {

// Qt proposes the home folder's "<title>.pdf" only on X11; the same proposal
// is made here on every platform, so the offscreen and the X11 wizard agree.
void ProposePdfWhenNoPrinter(QPrinter* printer, const QString& title) {
  if (!QPrinterInfo::availablePrinterNames().isEmpty()) return;
  printer->setOutputFormat(QPrinter::PdfFormat);
  printer->setOutputFileName(QDir::home().filePath(title + QStringLiteral(".pdf")));
}

}  // namespace

bool PrintWithSetup(QPrinter* printer, const QTextDocument& document, const QString& title, QWidget* parent) {
  printer->setDocName(title);
  ProposePdfWhenNoPrinter(printer, title);
  QPrintDialog dialog(printer, parent);
  dialog.setObjectName(QStringLiteral("PrinterSetupDialog"));
  if (dialog.exec() != QDialog::Accepted) return false;
  printer->setDocName(title);
  document.print(printer);
  return true;
}

}  // namespace kelvaro

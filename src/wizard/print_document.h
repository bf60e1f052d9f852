// Printing a page's rich text: the printer set-up dialog first, then the
// whole document on the chosen printer.
//
// Where the system has no printer, the dialog proposes a PDF file named
// after the document title in the home folder ("$HOME/<title>.pdf"), so the
// report can still be kept. Printing failures are the printing system's;
// nothing is printed when the dialog is cancelled.
#pragma once

#include <QString>

class QPrinter;
class QTextDocument;
class QWidget;

namespace kelvaro {

// Runs the printer set-up on printer; when the person confirms, prints
// document with title as the print job's document title. False when
// cancelled.
bool PrintWithSetup(QPrinter* printer, const QTextDocument& document, const QString& title, QWidget* parent);

}  // namespace kelvaro

// Printing the list of changes and the report through the printer set-up
// dialog. The test machine has no printer, so the dialog proposes a PDF in
// the home folder named after the document title; the PDF's text is read
// back with pdftotext.
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTextEdit>

#include "print_harness.h"

namespace {

using namespace kelvaro;
using wizard_test::StandardTexts;
using wizard_test::Wizard;

QString PdfText(const QString& path) {
  QProcess pdftotext;
  pdftotext.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
  if (!pdftotext.waitForFinished(30000)) return QStringLiteral("<pdftotext did not run>");
  return QString::fromUtf8(pdftotext.readAllStandardOutput());
}

QString PdfTitle(const QString& path) {
  QProcess pdfinfo;
  pdfinfo.start(QStringLiteral("pdfinfo"), {path});
  pdfinfo.waitForFinished(30000);
  for (const QString& line : QString::fromUtf8(pdfinfo.readAllStandardOutput()).split(QLatin1Char('\n'))) {
    if (line.startsWith(QStringLiteral("Title:"))) return line.mid(6).trimmed();
  }
  return {};
}

using Printing = wizard_test::PrintingTest;

TEST_F(Printing, TheReportPrintsUnderItsTitle) {
  Wizard w(StandardTexts());
  w.Start();
  w.Next();
  w.Next();
  ASSERT_EQ(w.current(), frmEndInstall);
  const QString pdf = Home(QStringLiteral("Update report.pdf"));
  EXPECT_EQ(PrintWith(frmEndInstall->SpeedButtonPrint, true), pdf);
  ASSERT_TRUE(QFileInfo::exists(pdf));
  const QString text = PdfText(pdf);
  EXPECT_TRUE(text.contains(QStringLiteral("Mise à jour : Mise à jour Torvida"))) << text.toStdString();
  EXPECT_EQ(PdfTitle(pdf), QStringLiteral("Update report"));
  EXPECT_TRUE(w.user().shown.empty());
}

TEST_F(Printing, TheListOfChangesPrintsUnderItsHeader) {
  Wizard w(StandardTexts());
  w.Start();
  w.Next();
  ASSERT_EQ(w.current(), frmDisplayFile);
  const QString pdf = Home(QStringLiteral("La liste des modifications.pdf"));
  EXPECT_EQ(PrintWith(frmDisplayFile->SpeedButtonPrint, true), pdf);
  ASSERT_TRUE(QFileInfo::exists(pdf));
  const QString text = PdfText(pdf);
  EXPECT_TRUE(text.contains(QStringLiteral("Impression des listes"))) << text.toStdString();
  EXPECT_EQ(PdfTitle(pdf), QStringLiteral("La liste des modifications"));
}

TEST_F(Printing, CancellingPrintsNothing) {
  Wizard w(StandardTexts());
  w.Start();
  w.Next();
  PrintWith(frmDisplayFile->SpeedButtonPrint, false);
  EXPECT_TRUE(QDir(Home(QString())).entryList({QStringLiteral("*.pdf")}).isEmpty());
}

}  // namespace

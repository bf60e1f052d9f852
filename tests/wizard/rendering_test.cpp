// The list of changes as its author wrote it: small RTF files written by
// LibreOffice (rendering/, made by scripts/make-rendering-references.sh),
// printed through the wizard's own print button to PDF, and set word by word
// beside LibreOffice's PDF of the same file. Sizes, indents, tab stops, list
// texts, tables and pictures all show in where the words land.
//
// Beside them, small RTF files written by hand as other word processors
// write theirs (hidden text, capitals, inner tables, notes, Symbol
// characters), whose words must be LibreOffice's, in its order, and no
// others.
#include <QFile>
#include <QPageLayout>
#include <QProcess>
#include <iostream>
#include <map>

#include "print_harness.h"
#include "rendering_comparison.h"

namespace {

using namespace kelvaro;
using wizard_test::PdfPicture;
using wizard_test::PdfWord;

QByteArray ReadFixture(const QString& name) {
  QFile file(QStringLiteral(KELVARO_RENDERING_DIR "/") + name);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
  return file.readAll();
}

QString Output(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  if (!process.waitForFinished(30000)) return QString();
  return QString::fromUtf8(process.readAllStandardOutput());
}

// Where the words of a line may start, from LibreOffice's: a little more
// than a space.
constexpr double kIndentTolerance = 6.0;

class PrintedBesideLibreOffice : public wizard_test::PrintingTest {
 protected:
  // Prints the document from the list-of-changes page on paper pageWidth
  // points wide (A4's height) and returns its words and the PDF's path.
  wizard_test::PdfText PrintFromTheWizard(const QByteArray& rtf, double pageWidth, QString* pdf) {
    wizard_test::Carried files = wizard_test::StandardTexts();
    files.back().second = rtf;
    wizard_test::Wizard w(files);
    w.Start();
    w.Next();
    EXPECT_EQ(w.current(), frmDisplayFile);
    const QSizeF paper(pageWidth, QPageSize(QPageSize::A4).size(QPageSize::Point).height());
    frmEndInstall->PrinterSetupDialog()->setPageLayout(QPageLayout(
        QPageSize(paper, QPageSize::Point), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
    *pdf = PrintWith(frmDisplayFile->SpeedButtonPrint, true);
    const auto text = wizard_test::ParseWordBoxes(
        Output(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), *pdf, QStringLiteral("-")}));
    return text;
  }

  // Qt prints inside margins of its own, not LibreOffice's: a first print
  // shows them, and the paper of the second gives the text LibreOffice's
  // column width, so lines break where LibreOffice breaks them.
  wizard_test::PdfText PrintInLibreOfficesColumn(const QByteArray& rtf, const wizard_test::PdfText& reference,
                                                 QString* pdf) {
    const double a4 = QPageSize(QPageSize::A4).size(QPageSize::Point).width();
    const double margin = wizard_test::TextLeft(PrintFromTheWizard(rtf, a4, pdf).words);
    const double column = reference.pageWidth - 2 * wizard_test::TextLeft(reference.words);
    return PrintFromTheWizard(rtf, column + 2 * margin, pdf);
  }
};

class SideBySide : public PrintedBesideLibreOffice, public ::testing::WithParamInterface<const char*> {};

TEST_P(SideBySide, PrintsAsLibreOfficeRendersIt) {
  const QString name = QString::fromLatin1(GetParam());
  const wizard_test::PdfText reference =
      wizard_test::ParseWordBoxes(QString::fromUtf8(ReadFixture(name + QStringLiteral(".reference.html"))));
  ASSERT_FALSE(reference.words.empty());
  QString pdf;
  const wizard_test::PdfText printed = PrintInLibreOfficesColumn(ReadFixture(name + QStringLiteral(".rtf")), reference, &pdf);
  ASSERT_FALSE(pdf.isEmpty());
  const auto c = wizard_test::CompareWords(reference.words, printed.words, kIndentTolerance);
  const double matched = double(c.matchedWords) / c.referenceWords;
  const double inPlace = double(c.linesInPlace) / c.referenceLines;
  std::cout << name.toStdString() << ": " << c.matchedWords << "/" << c.referenceWords << " words matched, median width ratio "
            << c.medianWidthRatio << ", " << c.linesInPlace << "/"
            << c.referenceLines << " line starts and " << c.wordsInPlace << "/" << c.matchedWords << " words within "
            << kIndentTolerance << " pt\n";
  EXPECT_GE(matched, 0.9);
  EXPECT_GE(c.medianWidthRatio, 0.9);
  EXPECT_LE(c.medianWidthRatio, 1.1);
  EXPECT_GE(inPlace, 0.9);
  EXPECT_GE(double(c.wordsInPlace) / c.matchedWords, 0.9);

  // Every picture, at its pixel size and shown at the size LibreOffice
  // shows it (within a tenth).
  std::vector<PdfPicture> printedPictures =
      wizard_test::ParsePictureList(Output(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf}));
  for (const PdfPicture& p :
       wizard_test::ParsePictureList(QString::fromUtf8(ReadFixture(name + QStringLiteral(".reference.images"))))) {
    const auto found = std::find_if(printedPictures.begin(), printedPictures.end(), [&](const PdfPicture& q) {
      return q.width == p.width && q.height == p.height && std::abs(q.shownWidth / p.shownWidth - 1) < 0.1 &&
             std::abs(q.shownHeight / p.shownHeight - 1) < 0.1;
    });
    EXPECT_NE(found, printedPictures.end()) << "picture " << p.width << "x" << p.height << " shown "
                                            << p.shownWidth << "x" << p.shownHeight << " pt is missing";
    if (found != printedPictures.end()) printedPictures.erase(found);
  }
}

INSTANTIATE_TEST_SUITE_P(LibreOffice, SideBySide,
                         ::testing::Values("formatting", "lists_tabs", "table", "pictures"),
                         [](const auto& info) { return std::string(info.param); });

// A document written by hand as other word processors write theirs, each
// showing one thing they do that LibreOffice's own RTF does not.
struct HandWritten {
  const char* name;
  // Words of the print that LibreOffice's PDF lacks, in order: only where
  // LibreOffice itself loses them.
  QStringList onlyPrinted;
  // Characters of LibreOffice's PDF text and the characters they stand for:
  // it draws the Symbol font's characters but keeps their private-use code
  // as their text.
  std::vector<std::pair<char16_t, char16_t>> referenceMeans;
};

void PrintTo(const HandWritten& c, std::ostream* out) { *out << c.name; }

std::vector<PdfWord> Translated(std::vector<PdfWord> words, const std::vector<std::pair<char16_t, char16_t>>& means) {
  for (PdfWord& word : words) {
    for (const auto& [from, to] : means) word.text.replace(QChar(from), QChar(to));
  }
  return words;
}

// QTextDocument::print numbers the pages at their foot: the number is the
// lowest word of its page, and no word of the document.
std::vector<PdfWord> WithoutPageNumbers(std::vector<PdfWord> words) {
  std::map<int, size_t> lowest;  // page, index of its lowest word
  for (size_t i = 0; i < words.size(); ++i) {
    const auto it = lowest.find(words[i].page);
    if (it == lowest.end() || words[i].box.top() > words[it->second].box.top()) lowest[words[i].page] = i;
  }
  std::vector<PdfWord> kept;
  for (size_t i = 0; i < words.size(); ++i) {
    const bool pageNumber = lowest[words[i].page] == i && words[i].text == QString::number(words[i].page);
    if (!pageNumber) kept.push_back(words[i]);
  }
  return kept;
}

std::string Listed(const QStringList& words) { return ("[" + words.join(QStringLiteral("] [")) + "]").toStdString(); }

class WordForWord : public PrintedBesideLibreOffice, public ::testing::WithParamInterface<HandWritten> {};

// Every word of LibreOffice's rendering, in its order, and no word it does
// not show: hidden text left out, capitals as capitals, an inner table's
// cells once and not its flat text, notes after the text, Symbol characters
// neither blank nor a break in their word.
TEST_P(WordForWord, PrintsLibreOfficesWordsAndNoOthers) {
  const HandWritten& c = GetParam();
  const QString name = QString::fromLatin1(c.name);
  const wizard_test::PdfText reference =
      wizard_test::ParseWordBoxes(QString::fromUtf8(ReadFixture(name + QStringLiteral(".reference.html"))));
  ASSERT_FALSE(reference.words.empty());
  QString pdf;
  const wizard_test::PdfText printed =
      PrintInLibreOfficesColumn(ReadFixture(name + QStringLiteral(".rtf")), reference, &pdf);
  ASSERT_FALSE(pdf.isEmpty());
  const auto w = wizard_test::CompareWordSequences(Translated(reference.words, c.referenceMeans),
                                                   WithoutPageNumbers(printed.words));
  std::cout << c.name << ": " << w.matchedWords << "/" << w.referenceWords << " of LibreOffice's words in order, "
            << w.extra.size() << "/" << w.renderedWords << " printed words not in its output ("
            << c.onlyPrinted.size() << " it loses)\n";
  EXPECT_EQ(Listed(w.missing), Listed({})) << "LibreOffice's words not printed";
  EXPECT_EQ(Listed(w.extra), Listed(c.onlyPrinted)) << "printed words LibreOffice does not show";
}

const HandWritten kHandWritten[] = {
    {"hidden_text", {}, {}},
    {"capitals", {}, {}},
    // LibreOffice lays the inner table out, the print shows its cells row by
    // row: the same words in the same order, and neither shows the flat text.
    {"nested_table_flat", {}, {}},
    {"nested_table", {}, {}},
    // LibreOffice drops the cells of a table whose level is skipped, and the
    // rest of the cell that holds it.
    {"nesting_skipped", {"Ancienne", "Nouvelle", "Fin", "du", "tableau"}, {}},
    // LibreOffice sets the notes at the foot of the page: after the last
    // paragraph too, in reading order.
    {"footnotes", {}, {}},
    {"symbol_bullet", {}, {{0xF0B7, u'•'}, {0xF061, u'α'}, {0xF0AE, u'→'}, {0xF0B4, u'×'}}},
};

INSTANTIATE_TEST_SUITE_P(OtherWriters, WordForWord, ::testing::ValuesIn(kHandWritten),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

// Two renderings of one document set side by side through their PDF files:
// the word boxes pdftotext -bbox gives, and the pictures pdfimages -list
// lists. Words are read in lines, top to bottom and left to right, matched
// by their text in order (a longest common subsequence, so a word missing on
// one side costs only that word), and compared by size and by where their
// lines start.
#pragma once

#include <QRectF>
#include <QString>
#include <QStringList>
#include <vector>

namespace wizard_test {

struct PdfWord {
  QString text;
  int page = 0;
  QRectF box;  // points, from the page's top left
};

struct PdfPicture {
  int page = 0;
  int width = 0;  // pixels
  int height = 0;
  double shownWidth = 0;  // points on the page
  double shownHeight = 0;
};

struct PdfText {
  std::vector<PdfWord> words;
  double pageWidth = 0;  // points, of the first page
};

// The words of pdftotext -bbox output, ligatures spelled out.
PdfText ParseWordBoxes(const QString& xhtml);
// Where the text of a rendering starts: its leftmost line start, in points.
double TextLeft(const std::vector<PdfWord>& words);
// The pictures of pdfimages -list output (soft masks are not pictures).
std::vector<PdfPicture> ParsePictureList(const QString& list);

struct WordComparison {
  int referenceWords = 0;
  int matchedWords = 0;
  double medianWidthRatio = 0;  // rendered width / reference width, matched words
  int referenceLines = 0;
  // Lines whose first word starts a line of the rendering too, within the
  // tolerance of the reference's indentation (from the left edge of each
  // side's text, its leftmost line start).
  int linesInPlace = 0;
  // Matched words within the tolerance of the reference's place across the
  // line (from the same left edges): tab stops, cells and alignment show
  // here.
  int wordsInPlace = 0;
};

WordComparison CompareWords(const std::vector<PdfWord>& reference, const std::vector<PdfWord>& rendered,
                            double indentTolerance);

// The two word sequences in reading order, matched word for word: what is
// left over on each side, in order.
struct WordSequenceComparison {
  int referenceWords = 0;
  int renderedWords = 0;
  int matchedWords = 0;
  QStringList missing;  // reference words the rendering lacks
  QStringList extra;    // rendered words the reference lacks
};

WordSequenceComparison CompareWordSequences(const std::vector<PdfWord>& reference,
                                            const std::vector<PdfWord>& rendered);

}  // namespace wizard_test

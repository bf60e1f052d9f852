#include "rendering_comparison.h"

#include <QRegularExpression>
#include <QTextDocumentFragment>
#include <algorithm>
#include <cmath>

namespace wizard_test {
namespace {

struct Line {
  std::vector<int> words;  // indexes, left to right
  double top = 0;
  double bottom = 0;
};

// Words in reading order, cut into lines: a word belongs to the line its
// vertical middle falls in, so words of different sizes share their line.
std::vector<Line> Lines(const std::vector<PdfWord>& words) {
  std::vector<int> order(words.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
  auto middle = [&](int i) { return words[i].box.center().y(); };
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    return words[a].page != words[b].page ? words[a].page < words[b].page : middle(a) < middle(b);
  });
  std::vector<Line> lines;
  int page = -1;
  for (int i : order) {
    const PdfWord& w = words[i];
    if (lines.empty() || w.page != page || middle(i) > lines.back().bottom) {
      lines.push_back({{}, w.box.top(), w.box.bottom()});
      page = w.page;
    }
    Line& line = lines.back();
    line.words.push_back(i);
    line.top = std::min(line.top, w.box.top());
    line.bottom = std::max(line.bottom, w.box.bottom());
  }
  for (Line& line : lines) {
    std::sort(line.words.begin(), line.words.end(),
              [&](int a, int b) { return words[a].box.left() < words[b].box.left(); });
  }
  return lines;
}

std::vector<int> Flatten(const std::vector<Line>& lines) {
  std::vector<int> sequence;
  for (const Line& line : lines) sequence.insert(sequence.end(), line.words.begin(), line.words.end());
  return sequence;
}

// Pairs of (reference index, rendered index) of a longest common
// subsequence of the two word sequences, compared by text.
std::vector<std::pair<int, int>> Match(const std::vector<PdfWord>& a, const std::vector<int>& as,
                                       const std::vector<PdfWord>& b, const std::vector<int>& bs) {
  const size_t n = as.size();
  const size_t m = bs.size();
  std::vector<std::vector<int>> length(n + 1, std::vector<int>(m + 1, 0));
  for (size_t i = n; i-- > 0;) {
    for (size_t j = m; j-- > 0;) {
      length[i][j] = a[as[i]].text == b[bs[j]].text ? length[i + 1][j + 1] + 1
                                                    : std::max(length[i + 1][j], length[i][j + 1]);
    }
  }
  std::vector<std::pair<int, int>> pairs;
  for (size_t i = 0, j = 0; i < n && j < m;) {
    if (a[as[i]].text == b[bs[j]].text) {
      pairs.emplace_back(as[i++], bs[j++]);
    } else if (length[i + 1][j] >= length[i][j + 1]) {
      ++i;
    } else {
      ++j;
    }
  }
  return pairs;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t mid = values.size() / 2;
  return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

}  // namespace

double TextLeft(const std::vector<PdfWord>& words) {
  double left = 1e9;
  for (const Line& line : Lines(words)) left = std::min(left, words[line.words.front()].box.left());
  return left;
}

PdfText ParseWordBoxes(const QString& xhtml) {
  static const QRegularExpression page(QStringLiteral("<page width=\"([0-9.]+)\"|<word xMin=\"([-0-9.]+)\" yMin=\"([-0-9.]+)\" "
                                                      "xMax=\"([-0-9.]+)\" yMax=\"([-0-9.]+)\">([^<]*)</word>"));
  PdfText text;
  int pageNumber = 0;
  for (auto it = page.globalMatch(xhtml); it.hasNext();) {
    const QRegularExpressionMatch m = it.next();
    if (m.captured(0).startsWith(QLatin1String("<page"))) {
      if (++pageNumber == 1) text.pageWidth = m.captured(1).toDouble();
      continue;
    }
    PdfWord word;
    // A PDF may keep a ligature as one character ("ﬁ"): the word is the same.
    word.text = QTextDocumentFragment::fromHtml(m.captured(6)).toPlainText().normalized(QString::NormalizationForm_KC);
    word.page = pageNumber;
    word.box = QRectF(QPointF(m.captured(2).toDouble(), m.captured(3).toDouble()),
                      QPointF(m.captured(4).toDouble(), m.captured(5).toDouble()));
    text.words.push_back(word);
  }
  return text;
}

std::vector<PdfPicture> ParsePictureList(const QString& list) {
  // page num type width height color comp bpc enc interp object ID x-ppi y-ppi size ratio
  std::vector<PdfPicture> pictures;
  for (const QString& row : list.split(QLatin1Char('\n'))) {
    const QStringList f = row.simplified().split(QLatin1Char(' '));
    if (f.size() < 14 || f[2] != QLatin1String("image")) continue;
    PdfPicture p;
    p.page = f[0].toInt();
    p.width = f[3].toInt();
    p.height = f[4].toInt();
    const double xPpi = f[12].toDouble();
    const double yPpi = f[13].toDouble();
    if (xPpi > 0 && yPpi > 0) {
      p.shownWidth = p.width / xPpi * 72;
      p.shownHeight = p.height / yPpi * 72;
    }
    pictures.push_back(p);
  }
  return pictures;
}

WordComparison CompareWords(const std::vector<PdfWord>& reference, const std::vector<PdfWord>& rendered,
                            double indentTolerance) {
  const std::vector<Line> referenceLines = Lines(reference);
  const std::vector<Line> renderedLines = Lines(rendered);
  const auto pairs = Match(reference, Flatten(referenceLines), rendered, Flatten(renderedLines));

  WordComparison result;
  result.referenceWords = static_cast<int>(reference.size());
  result.matchedWords = static_cast<int>(pairs.size());
  // Sizes compare by width: a word's height in pdftotext's boxes comes from
  // the ascent and descent each PDF writer records for its font, not from
  // the size the text is drawn at.
  std::vector<double> widths;
  std::vector<int> renderedOf(reference.size(), -1);
  for (const auto& [r, w] : pairs) {
    renderedOf[r] = w;
    if (reference[r].box.width() > 0) widths.push_back(rendered[w].box.width() / reference[r].box.width());
  }
  result.medianWidthRatio = Median(widths);

  const double referenceLeft = TextLeft(reference);
  const double renderedLeft = TextLeft(rendered);
  auto inPlace = [&](int r, int w) {
    return std::abs((reference[r].box.left() - referenceLeft) - (rendered[w].box.left() - renderedLeft)) <=
           indentTolerance;
  };
  for (const auto& [r, w] : pairs) result.wordsInPlace += inPlace(r, w) ? 1 : 0;

  std::vector<bool> startsLine(rendered.size(), false);
  for (const Line& line : renderedLines) startsLine[line.words.front()] = true;
  result.referenceLines = static_cast<int>(referenceLines.size());
  for (const Line& line : referenceLines) {
    const int r = line.words.front();
    const int w = renderedOf[r];
    if (w >= 0 && startsLine[w] && inPlace(r, w)) ++result.linesInPlace;
  }
  return result;
}

WordSequenceComparison CompareWordSequences(const std::vector<PdfWord>& reference,
                                            const std::vector<PdfWord>& rendered) {
  const std::vector<int> referenceOrder = Flatten(Lines(reference));
  const std::vector<int> renderedOrder = Flatten(Lines(rendered));
  const auto pairs = Match(reference, referenceOrder, rendered, renderedOrder);

  WordSequenceComparison result;
  result.referenceWords = static_cast<int>(reference.size());
  result.renderedWords = static_cast<int>(rendered.size());
  result.matchedWords = static_cast<int>(pairs.size());
  std::vector<bool> referenceMatched(reference.size(), false);
  std::vector<bool> renderedMatched(rendered.size(), false);
  for (const auto& [r, w] : pairs) {
    referenceMatched[r] = true;
    renderedMatched[w] = true;
  }
  for (int r : referenceOrder) {
    if (!referenceMatched[r]) result.missing.append(reference[r].text);
  }
  for (int w : renderedOrder) {
    if (!renderedMatched[w]) result.extra.append(rendered[w].text);
  }
  return result;
}

}  // namespace wizard_test

// The header of the pages that print: a strip with the page title centred
// and a flat print button at its left.
#pragma once

class QLabel;
class QToolButton;
class QWidget;

namespace kelvaro {

struct PageHeader {
  QLabel* panel;
  QToolButton* printButton;
};

// A header 32 pixels high, its title in MS Sans Serif of fontPixels, the
// print button at (4, 4), 24 x 24, with the printer glyph.
PageHeader MakePageHeader(QWidget* page, int fontPixels);

}  // namespace kelvaro

#include "wizard/page_header.h"

#include <QLabel>
#include <QToolButton>

#include "wizard/printer_glyph.h"

namespace kelvaro {

PageHeader MakePageHeader(QWidget* page, int fontPixels) {
  auto* panel = new QLabel(page);
  panel->setObjectName(QStringLiteral("PanelButtons"));
  panel->setAlignment(Qt::AlignCenter);
  panel->setFixedHeight(32);
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setPixelSize(fontPixels);
  panel->setFont(font);

  auto* button = new QToolButton(panel);
  button->setObjectName(QStringLiteral("SpeedButtonPrint"));
  button->setAutoRaise(true);
  button->setIcon(PrinterGlyph());
  button->setGeometry(4, 4, 24, 24);
  return {panel, button};
}

}  // namespace kelvaro

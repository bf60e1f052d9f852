#include "wizard/printer_glyph.h"

#include <QPainter>
#include <QPixmap>

namespace kelvaro {

QIcon PrinterGlyph() {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setPen(QColor(64, 64, 64));
  p.setBrush(Qt::white);
  p.drawRect(4, 1, 7, 5);  // the sheet going in
  p.setBrush(QColor(176, 176, 176));
  p.drawRect(1, 6, 13, 6);  // the body
  p.setBrush(Qt::white);
  p.drawRect(4, 10, 7, 5);  // the printed sheet
  p.setPen(QColor(0, 160, 0));
  p.drawPoint(12, 8);  // the power light
  return QIcon(pixmap);
}

}  // namespace kelvaro

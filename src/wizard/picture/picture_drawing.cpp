#include "wizard/picture/picture_drawing.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include "wizard/picture/picture_pixels.h"

namespace kelvaro {
namespace {

constexpr int kWidth = kCompanyPictureWidth;
constexpr int kHeight = kCompanyPictureHeight;
// The ground colour the column continues below and above the picture.
const QColor kGround(58, 96, 104);

void DrawSky(QPainter& p) {
  QLinearGradient sky(0, 0, 0, 150);
  sky.setColorAt(0.0, QColor(214, 228, 238));
  sky.setColorAt(1.0, QColor(238, 241, 232));
  p.fillRect(0, 0, kWidth, kHeight, sky);
  QRadialGradient sun(108, 58, 26);
  sun.setColorAt(0.0, QColor(250, 236, 200));
  sun.setColorAt(0.6, QColor(246, 226, 186, 160));
  sun.setColorAt(1.0, QColor(246, 226, 186, 0));
  p.setPen(Qt::NoPen);
  p.setBrush(sun);
  p.drawEllipse(QPointF(108, 58), 26, 26);
}

// One band of hills: a smooth curve through the given heights, filled down
// to the bottom edge.
void DrawHills(QPainter& p, std::initializer_list<int> heights, const QColor& colour) {
  QPainterPath path;
  const int count = int(heights.size());
  const double step = double(kWidth) / (count - 1);
  auto it = heights.begin();
  path.moveTo(0, *it);
  for (int i = 1; i < count; ++i) {
    const double x0 = (i - 1) * step, x1 = i * step;
    const int y0 = *it;
    const int y1 = *(++it);
    path.cubicTo(x0 + step / 2, y0, x1 - step / 2, y1, x1, y1);
  }
  path.lineTo(kWidth, kHeight);
  path.lineTo(0, kHeight);
  path.closeSubpath();
  p.setBrush(colour);
  p.drawPath(path);
}

void DrawTree(QPainter& p, int x, int base, int size) {
  p.setBrush(QColor(72, 112, 96));
  QPolygon crown;
  crown << QPoint(x, base - size) << QPoint(x - size / 3, base) << QPoint(x + size / 3, base);
  p.drawPolygon(crown);
  p.fillRect(x - 1, base, 3, size / 5, QColor(96, 84, 70));
}

}  // namespace

QImage DrawCompanyPicture() {
  // Drawn in the painter's own format, handed over in 24 bits per pixel.
  QImage image(kWidth, kHeight, QImage::Format_RGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  DrawSky(p);
  p.setPen(Qt::NoPen);
  DrawHills(p, {120, 104, 116, 96, 112}, QColor(176, 198, 196));
  DrawHills(p, {150, 138, 146, 130, 142}, QColor(132, 168, 150));
  DrawTree(p, 34, 160, 30);
  DrawTree(p, 50, 166, 22);
  DrawHills(p, {186, 176, 184, 172, 180}, QColor(96, 136, 124));
  p.setRenderHint(QPainter::Antialiasing, false);
  p.fillRect(0, 205, kWidth, kHeight - 205, kGround);
  p.end();
  return image.convertToFormat(QImage::Format_RGB888);
}

}  // namespace kelvaro

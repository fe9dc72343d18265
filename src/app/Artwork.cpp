#include "app/Artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace kessmar {
namespace {

// Bar widths of the decorative barcode, in units; drawn left to right, bar then gap.
constexpr int kBars[] = {2, 1, 1, 2, 3, 1, 1, 1, 2, 2, 1, 3, 1, 1, 2, 1, 3, 2, 1, 1, 2, 1};

void DrawBarcode(QPainter& p, const QRectF& area, const QColor& ink) {
  int units = 0;
  for (int w : kBars) units += w;
  const qreal unit = area.width() / units;
  qreal x = area.left();
  bool bar = true;
  for (int w : kBars) {
    if (bar) p.fillRect(QRectF(x, area.top(), w * unit, area.height()), ink);
    x += w * unit;
    bar = !bar;
  }
}

QPixmap IconPixmap(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal s = size;
  // Rounded tile in the company's blue.
  QLinearGradient tile(0, 0, 0, s);
  tile.setColorAt(0, QColor(0x2f, 0x6f, 0xc4));
  tile.setColorAt(1, QColor(0x12, 0x3c, 0x7a));
  p.setBrush(tile);
  p.setPen(Qt::NoPen);
  p.drawRoundedRect(QRectF(0.03 * s, 0.03 * s, 0.94 * s, 0.94 * s), 0.18 * s, 0.18 * s);
  // White label with a barcode.
  p.setBrush(Qt::white);
  p.drawRoundedRect(QRectF(0.16 * s, 0.46 * s, 0.68 * s, 0.38 * s), 0.05 * s, 0.05 * s);
  DrawBarcode(p, QRectF(0.22 * s, 0.52 * s, 0.56 * s, 0.26 * s), QColor(0x12, 0x3c, 0x7a));
  // Scan beam.
  p.setPen(QPen(QColor(0xff, 0x3b, 0x30), qMax<qreal>(1.0, 0.05 * s)));
  p.drawLine(QPointF(0.12 * s, 0.65 * s), QPointF(0.88 * s, 0.65 * s));
  // Scanner head.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xf2, 0xf4, 0xf7));
  p.drawRoundedRect(QRectF(0.30 * s, 0.12 * s, 0.40 * s, 0.26 * s), 0.06 * s, 0.06 * s);
  return pixmap;
}

}  // namespace

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 22, 24, 32, 48, 64, 128}) icon.addPixmap(IconPixmap(size));
  return icon;
}

QPixmap MainWindowArtwork(int width, int height) {
  QPixmap pixmap(width, height);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, height);
  sky.setColorAt(0, QColor(0xf7, 0xfa, 0xff));
  sky.setColorAt(1, QColor(0xdc, 0xe8, 0xf7));
  p.fillRect(pixmap.rect(), sky);

  // A faint pocket scanner in the lower right, behind the controls.
  p.setOpacity(0.22);
  QPainterPath body;
  body.addRoundedRect(QRectF(width * 0.62, height * 0.50, width * 0.30, height * 0.46), 14, 14);
  p.fillPath(body, QColor(0x12, 0x3c, 0x7a));
  p.fillRect(QRectF(width * 0.66, height * 0.56, width * 0.22, height * 0.10), Qt::white);
  p.setOpacity(0.16);
  DrawBarcode(p, QRectF(width * 0.06, height * 0.88, width * 0.50, height * 0.08),
              QColor(0x12, 0x3c, 0x7a));
  return pixmap;
}

}  // namespace kessmar

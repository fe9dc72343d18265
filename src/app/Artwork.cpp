#include "app/Artwork.h"

#include <QIconEngine>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

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

// Paints the icon into the square of side size at the painter's origin.
void PaintIcon(QPainter& p, int size) {
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
}

// Paints the icon on demand; it keeps no pixmap of any size.
class ProgramIconEngine final : public QIconEngine {
 public:
  void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override {
    const int side = qMin(rect.width(), rect.height());
    const QPoint corner = rect.topLeft() + QPoint(rect.width() - side, rect.height() - side) / 2;
    painter->save();
    painter->translate(corner);
    PaintIcon(*painter, side);
    painter->restore();
  }

  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    paint(&painter, QRect(QPoint(), size), mode, state);
    return pixmap;
  }

  QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }

  // The sizes a window manager or tray is offered.
  QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
    QList<QSize> sizes;
    for (int side : {16, 22, 24, 32, 48, 64, 128}) sizes.append(QSize(side, side));
    return sizes;
  }

  QString key() const override { return QStringLiteral("KessmarProgramIcon"); }

  // The icon takes ownership of the copy, as Qt's icon engines require.
  QIconEngine* clone() const override { return new ProgramIconEngine; }
};

}  // namespace

QIcon ProgramIcon() {
  return QIcon(new ProgramIconEngine);  // the icon owns its engine
}

ArtworkPanel::ArtworkPanel(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);  // the sky covers every pixel
}

void ArtworkPanel::paintEvent(QPaintEvent*) {
  const int width = this->width();
  const int height = this->height();
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, height);
  sky.setColorAt(0, QColor(0xf7, 0xfa, 0xff));
  sky.setColorAt(1, QColor(0xdc, 0xe8, 0xf7));
  p.fillRect(rect(), sky);

  // A faint pocket scanner in the lower right, behind the controls.
  p.setOpacity(0.22);
  QPainterPath body;
  body.addRoundedRect(QRectF(width * 0.62, height * 0.50, width * 0.30, height * 0.46), 14, 14);
  p.fillPath(body, QColor(0x12, 0x3c, 0x7a));
  p.fillRect(QRectF(width * 0.66, height * 0.56, width * 0.22, height * 0.10), Qt::white);
  p.setOpacity(0.16);
  DrawBarcode(p, QRectF(width * 0.06, height * 0.88, width * 0.50, height * 0.08),
              QColor(0x12, 0x3c, 0x7a));
}

}  // namespace kessmar

#include "about/AboutBanner.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <array>

namespace kessmar {

QPixmap PaintAboutBanner() {
  QPixmap banner(kAboutBannerWidth, kAboutBannerHeight);
  QPainter painter(&banner);
  painter.setRenderHint(QPainter::Antialiasing);

  QLinearGradient sky(0, 0, kAboutBannerWidth, kAboutBannerHeight);
  sky.setColorAt(0.0, QColor(0x0B, 0x2E, 0x59));
  sky.setColorAt(1.0, QColor(0x1F, 0x7A, 0xB8));
  painter.fillRect(banner.rect(), sky);

  // A stylised barcode on a white label at the right; bar widths repeat a fixed pattern.
  const QRect label(208, 12, 80, 47);
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::white);
  painter.drawRoundedRect(label, 3, 3);
  constexpr std::array<int, 12> kBars = {2, 1, 3, 1, 1, 2, 3, 1, 2, 1, 1, 3};
  painter.setBrush(QColor(0x10, 0x10, 0x10));
  int x = label.left() + 6;
  for (size_t i = 0; x < label.right() - 6; ++i) {
    const int width = kBars[i % kBars.size()];
    if (i % 2 == 0) painter.drawRect(x, label.top() + 6, width, label.height() - 12);
    x += width + 1;
  }

  painter.setPen(Qt::white);
  QFont title(QStringLiteral("Tahoma"), 15, QFont::Bold);
  painter.setFont(title);
  painter.drawText(QRect(12, 10, 190, 28), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("Kessmar"));
  QFont subtitle(QStringLiteral("Tahoma"), 9);
  painter.setFont(subtitle);
  painter.drawText(QRect(12, 38, 190, 20), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("Scanner Tool"));
  painter.setPen(QColor(0xFF, 0xFF, 0xFF, 0x60));
  painter.drawLine(12, 38, 180, 38);
  return banner;
}

}  // namespace kessmar

#include "app/DeferredIconStyle.h"

#include <QIconEngine>
#include <QPainter>
#include <QPointer>
#include <optional>

namespace kessmar {
namespace {

// An icon engine that asks the style for the real icon the first time the icon is used.
class DeferredIconEngine : public QIconEngine {
 public:
  DeferredIconEngine(const QStyle* style, QStyle::StandardPixmap which)
      : style_(style), which_(which) {}

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    Real().paint(painter, rect, Qt::AlignCenter, mode, state);
  }
  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return Real().pixmap(size, mode, state);
  }
  QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return Real().actualSize(size, mode, state);
  }
  QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
    return Real().availableSizes(mode, state);
  }
  QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                       qreal scale) override {
    // The icon's own device-pixel handling; QIcon::pixmap takes the scale from the painter.
    (void)scale;
    return Real().pixmap(size, mode, state);
  }
  QString key() const override { return QStringLiteral("DeferredIconEngine"); }
  QIconEngine* clone() const override {
    auto* copy = new DeferredIconEngine(style_, which_);
    copy->real_ = real_;
    return copy;
  }
  bool isNull() override { return Real().isNull(); }

 private:
  const QIcon& Real() {
    if (!real_) real_ = style_ != nullptr ? style_->standardIcon(which_) : QIcon();
    return *real_;
  }

  const QStyle* style_;
  QStyle::StandardPixmap which_;
  std::optional<QIcon> real_;
};

}  // namespace

QIcon DeferredIconStyle::standardIcon(StandardPixmap standardIcon, const QStyleOption* option,
                                      const QWidget* widget) const {
  if (standardIcon == SP_ToolBarHorizontalExtensionButton ||
      standardIcon == SP_ToolBarVerticalExtensionButton) {
    // The icon asks the wrapped style, which lives as long as this style does.
    return QIcon(new DeferredIconEngine(baseStyle(), standardIcon));
  }
  return QProxyStyle::standardIcon(standardIcon, option, widget);
}

}  // namespace kessmar

// The application's style with one change: the menu bar's extension-button icons are read only
// when a menu bar first draws one. Reading them at once, as every QMenuBar does when it is made,
// makes Qt load all of its image-format plugins (jpeg, gif, ico) to tell a PNG file by its
// contents, which costs the tray tool about 0.3 MB for an icon it seldom shows.
#pragma once

#include <QProxyStyle>

namespace kessmar {

class DeferredIconStyle : public QProxyStyle {
 public:
  // Wraps the style the application would use anyway.
  DeferredIconStyle() = default;

  QIcon standardIcon(StandardPixmap standardIcon, const QStyleOption* option = nullptr,
                     const QWidget* widget = nullptr) const override;
};

}  // namespace kessmar

// The program's own pictures, painted when they are drawn rather than kept as pixmaps: the tool
// waits in the tray all day, where a cached picture would only hold memory.
#pragma once

#include <QIcon>
#include <QWidget>

namespace kessmar {

// The program icon: a pocket scanner over a barcode, painted at whatever size is asked.
QIcon ProgramIcon();

// The product artwork behind the main window's controls, painted to fill the widget.
class ArtworkPanel : public QWidget {
 public:
  explicit ArtworkPanel(QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace kessmar

// Places a window, frame included, in the middle of its screen's free area.
#pragma once

#include <QRect>
#include <QScreen>
#include <QWidget>

namespace kessmar::platform {

// Centres window on the screen it is on; does nothing while it has no screen.
inline void CenterOnScreen(QWidget& window) {
  if (QScreen* s = window.screen()) {
    QRect frame = window.frameGeometry();
    frame.moveCenter(s->availableGeometry().center());
    window.move(frame.topLeft());
  }
}

}  // namespace kessmar::platform

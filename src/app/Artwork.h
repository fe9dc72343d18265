// The program's own pictures, drawn at run time: the program icon and the main window's artwork.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace kessmar {

// The program icon: a pocket scanner over a barcode, in several sizes.
QIcon ProgramIcon();

// The product artwork behind the main window's controls, size width × height.
QPixmap MainWindowArtwork(int width, int height);

}  // namespace kessmar

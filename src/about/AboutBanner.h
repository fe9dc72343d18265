// The banner at the top of the About window, painted at run time so that no image file has to
// ship with the program.
#pragma once

#include <QPixmap>

namespace kessmar {

inline constexpr int kAboutBannerWidth = 300;
inline constexpr int kAboutBannerHeight = 71;

// A 300 x 71 banner: a blue gradient with the product name and a stylised barcode.
QPixmap PaintAboutBanner();

}  // namespace kessmar

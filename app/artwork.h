#pragma once

#include <QIcon>
#include <QPixmap>

namespace taperly {

inline constexpr int kLogoWidth = 129;
inline constexpr int kLogoHeight = 48;
inline constexpr int kBackdropWidth = 213;
inline constexpr int kBackdropHeight = 119;

// Taperly's logo for Picture1.
QPixmap logo_pixmap();
// The window icon in 16 and 32 pixels.
QIcon window_icon();
// The panel behind the display mirror, the status line and Hold.
QPixmap backdrop_pixmap();

}  // namespace taperly

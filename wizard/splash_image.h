#pragma once
// The side image and the window icon, drawn by the program itself.
#include <QIcon>
#include <QImage>
#include <QPixmap>

namespace wizard {

inline constexpr int kSplashWidth = 120;
inline constexpr int kSplashHeight = 225;

QPixmap SplashImage();
// The icon at SIZE x SIZE pixels on a transparent ground; the window's icon and the
// installed icons are all drawn by this.
QImage IconImage(int size);
QIcon WindowIcon();

}  // namespace wizard

#pragma once
// The side image and the window icon, drawn by the program itself.
#include <QIcon>
#include <QPixmap>

namespace wizard {

inline constexpr int kSplashWidth = 120;
inline constexpr int kSplashHeight = 225;

QPixmap SplashImage();
QIcon WindowIcon();

}  // namespace wizard

#pragma once

#include <QIcon>
#include <QPixmap>

namespace charlib::studio {

// The studio's icon, `size` pixels square: a rounded tile holding 字 over the
// cells of an atlas page, one of them lit. Drawn, not read from a file, so the
// window and the installed hicolor icons are the same picture.
QPixmap studioIconPicture(int size);

// The icon at every hicolor size, for the window.
QIcon studioIcon();

}  // namespace charlib::studio

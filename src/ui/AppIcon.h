#pragma once

#include <QIcon>
#include <QImage>
#include <QString>

namespace velmora {

// The program's icon in the two sizes a window uses (16 and 32 pixels), drawn
// in the 16-colour palette: eight direction marks around a sprite's centre.
QIcon appIcon();

// The same icon at any size, and as scalable vector graphics: the icon files
// installed for the desktop are made from these, so they match the window's.
QImage appIconImage(int size);
QString appIconSvg();

} // namespace velmora

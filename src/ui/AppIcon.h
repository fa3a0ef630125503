#pragma once

#include <QIcon>

namespace velmora {

// The program's icon in the two sizes a window uses (16 and 32 pixels), drawn
// in the 16-colour palette: eight direction marks around a sprite's centre.
QIcon appIcon();

} // namespace velmora

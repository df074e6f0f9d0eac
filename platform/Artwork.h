#pragma once

#include <QIcon>
#include <QPixmap>

namespace artwork {

// The program's icon: a receipt with a house, drawn at every size it is asked for.
QIcon applicationIcon();

// The banner across the top of the login dialog, 334 x 64 pixels.
QPixmap loginBanner();

} // namespace artwork

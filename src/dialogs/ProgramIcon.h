#pragma once
// The program's icon, drawn in code: a timing curve over a spark on a round dial.
#include <QIcon>
#include <QPixmap>

namespace emu::ui {
// The icon at the usual sizes (16 to 256 pixels).
QIcon programIcon();
// One rendering of it, size x size device-independent pixels.
QPixmap programPixmap(int size, qreal devicePixelRatio = 1.0);
} // namespace emu::ui

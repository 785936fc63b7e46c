// The program's pictures, built into its resources by the artwork generator:
// bitmaps by resource id (":/skin/<id>.bmp"), the skin cursor (167) and the
// application icon (128).
#pragma once

#include <QCursor>
#include <QIcon>
#include <QImage>
#include <QString>

#include "controls/SkinIds.h"

namespace controls {

// Resource path of a bitmap id.
QString SkinBitmapPath(int id);
// The bitmap of that id, or a null image when there is none.
QImage LoadSkinBitmap(int id);
// The skin cursor with the hot spot stored in its file, or the arrow cursor when the
// resource cannot be read. `ok` (optional) tells which.
QCursor SkinCursor(bool* ok = nullptr);
// The cursor file's hot spot, or (-1, -1) when the file cannot be read.
QPoint SkinCursorHotSpot();
// The application icon (16 x 16 and 32 x 32).
QIcon AppIcon();

}  // namespace controls

// The dialogs' font and the dialog units measured from it.
//
// Dialog templates give positions in dialog units: a horizontal unit is a quarter
// of the font's average character width, a vertical unit an eighth of its height.
// Every dialog and the skin artwork convert through these helpers so that they
// agree on where a control stands.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

namespace controls {

// "MS Sans Serif" 8 where that family is installed, else the platform's default
// sans-serif family at 8 points.
QFont DialogFont();

// The font's base units: x = average character width (rounded as the platform
// does, from the width of the 52 Latin letters), y = line height. Pixels.
QSize DialogBaseUnits(const QFont& font);

// Dialog units to pixels: x * baseX / 4 and y * baseY / 8, truncated.
int DialogXToPixels(int x, const QSize& base);
int DialogYToPixels(int y, const QSize& base);
// A template rectangle (left, top, width, height in dialog units) in pixels.
QRect DialogRectToPixels(const QRect& dialogUnits, const QSize& base);

}  // namespace controls

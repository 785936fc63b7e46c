// The program's pictures, drawn from code so they can be remade: the main window's
// background, its bitmap-button faces, the skin cursor and the application icon.
#pragma once

#include <QImage>
#include <QList>
#include <QPoint>
#include <QString>

#include "SkinLayout.h"

namespace artwork {

// The transport symbols of the player's buttons.
enum class Symbol { Play, Stop, Pause, First, Back, Forward, Next };

// 514 x 336: the main window's background, laid out for these window metrics.
QImage DrawBackground(const WindowMetrics& m);

// The part of the stretched background that lies under a button of the main window
// (template rectangle in dialog units), `size` pixels from the button's top-left;
// faces with rounded or see-through parts are drawn over it so they blend in.
QImage BackgroundUnder(const QImage& background, const WindowMetrics& m, const QRect& button,
                       QSize size);

// 19 x 19 title buttons: 'C' close (cross), 'I' minimise (bar), 'M' web page.
QImage DrawTitleButton(char kind, const QImage& under);
// 25 x 25 round beige help badge with a question mark.
QImage DrawHelpBadge(const QImage& under);
// 90 x 27 blue-grey tab, rounded at the right end, with a white word.
QImage DrawTab(const QString& word, const QImage& under);
// Transport face: 23 x 21 black symbol, or 22 x 20 blue symbol (pressed look).
QImage DrawTransport(Symbol symbol, bool blue);
// 32 x 32 skin cursor (transparent outside the arrow); its tip is at kCursorHotSpot.
inline constexpr QPoint kCursorHotSpot{7, 7};
QImage DrawCursor();
// The application icon at 16 or 32 pixels.
QImage DrawAppIcon(int size);

}  // namespace artwork

// The program's pictures, drawn from code so they can be remade: the main window's
// background, its bitmap-button faces, the skin cursor and the application icon.
#pragma once

#include <QImage>
#include <QList>
#include <QPoint>
#include <QString>

#include "controls/SkinLayout.h"

namespace artwork {

// The main window's layout (template rectangles, window metrics) is shared with
// the controls library.
using namespace ::controls;

// The transport symbols of the player's buttons.
enum class Symbol { Play, Stop, Pause, First, Back, Forward, Next };

// Sizes of the button faces, pixels.
inline constexpr QSize kTitleFaceSize{19, 19};
inline constexpr QSize kHelpFaceSize{25, 25};
inline constexpr QSize kTabFaceSize{90, 27};
inline constexpr QSize kTransportFaceSize{23, 21};
inline constexpr QSize kTransportPressedSize{22, 20};

// 514 x 336: the main window's background, laid out for these window metrics.
// Without `tabs` the blue-grey tabs under RIP, CVT and OPT are left out (the tab
// faces are drawn over that plain metal, so their rounded ends blend in).
QImage DrawBackground(const WindowMetrics& m, bool tabs = true);

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
// Transport face: 23 x 21 black symbol, or 22 x 20 blue symbol (pressed look),
// drawn over the background under the button.
QImage DrawTransport(Symbol symbol, bool blue, const QImage& under);
// 32 x 32 skin cursor (transparent outside the arrow); its tip is at kCursorHotSpot.
inline constexpr QPoint kCursorHotSpot{7, 7};
QImage DrawCursor();
// The application icon, size x size pixels (drawn on a 32-unit grid and scaled).
QImage DrawAppIcon(int size);
// The sizes the desktop's icon theme gets.
inline constexpr int kThemeIconSizes[] = {16, 32, 48, 128, 256};

}  // namespace artwork

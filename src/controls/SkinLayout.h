// Where the main window's controls stand, for drawing the skin to match them.
//
// The main window's template places its controls in dialog units on a 365 x 239
// unit client area; the window then loses its caption and keeps its outer size, so
// its client area grows by the caption's height. The background picture
// (514 x 336) is stretched over that whole client area. These helpers turn a
// template rectangle into the picture's pixels and into the window's pixels.
//
// The artwork generator draws the background with CurrentWindowMetrics() of the
// building machine; a main window sized to CurrentWindowMetrics().ClientSize()
// on the same machine finds the white panel around its list and the tabs under
// its buttons. Known limit: on another font or style the picture still covers the
// client area but its panels may sit a few pixels off the controls.
#pragma once

#include <QRect>
#include <QSize>

namespace controls {

inline constexpr QSize kBackgroundSize{514, 336};
inline constexpr QSize kTemplateSize{365, 239};  // dialog units

// Template rectangles (left, top, width, height), dialog units.
inline constexpr QRect kTrackList{83, 42, 274, 162};
inline constexpr QRect kRipButton{23, 95, 59, 18};
inline constexpr QRect kConvertButton{23, 113, 59, 18};
inline constexpr QRect kOptionButton{23, 132, 59, 18};
inline constexpr QRect kHelpButton{59, 39, 16, 16};
inline constexpr QRect kWebButton{327, 0, 12, 12};
inline constexpr QRect kMinimiseButton{339, 0, 12, 12};
inline constexpr QRect kCloseButton{353, 0, 12, 12};
inline constexpr QRect kSeekSlider{85, 212, 166, 12};
// The transport buttons, left to right: Play, Stop, Pause, First, BK, FF, Next.
inline constexpr int kTransportLeft[7] = {88, 112, 136, 160, 184, 208, 232};
inline constexpr int kTransportTop = 228;
inline constexpr QSize kTransportSize{15, 14};

// The geometry of one main window: dialog base units and caption height, pixels.
struct WindowMetrics {
    QSize base;       // dialog base units of the dialog font
    int caption = 0;  // height of the caption removed at start-up
    // The client area after the caption is removed.
    QSize ClientSize() const;
    // A template rectangle in client pixels.
    QRect ToClient(const QRect& dialogUnits) const;
    // A template rectangle in background-picture pixels (the client stretched to
    // 514 x 336), rounded outwards.
    QRect ToPicture(const QRect& dialogUnits) const;
    // A rectangle in client pixels in background-picture pixels, rounded outwards.
    QRect ClientToPicture(const QRect& client) const;
    // Where a face of `face` pixels, copied unscaled to the top-left corner of a
    // button (template rectangle in dialog units), lies in the picture.
    QRect FaceToPicture(const QRect& button, QSize face) const;
};

// The metrics of this machine: the dialog font's base units and the style's
// title bar height. Needs a QApplication.
WindowMetrics CurrentWindowMetrics();

}  // namespace controls

#include "controls/SkinLayout.h"

#include <QApplication>
#include <QStyle>
#include <cmath>

#include "controls/DialogFont.h"

namespace controls {

QSize WindowMetrics::ClientSize() const {
    return QSize(controls::DialogXToPixels(kTemplateSize.width(), base),
                 controls::DialogYToPixels(kTemplateSize.height(), base) + caption);
}

QRect WindowMetrics::ToClient(const QRect& du) const {
    return controls::DialogRectToPixels(du, base);
}

QRect WindowMetrics::ToPicture(const QRect& du) const {
    return ClientToPicture(ToClient(du));
}

QRect WindowMetrics::ClientToPicture(const QRect& px) const {
    const QSize client = ClientSize();
    const double sx = double(kBackgroundSize.width()) / client.width();
    const double sy = double(kBackgroundSize.height()) / client.height();
    const int left = int(std::floor(px.left() * sx));
    const int top = int(std::floor(px.top() * sy));
    const int right = int(std::ceil((px.left() + px.width()) * sx));
    const int bottom = int(std::ceil((px.top() + px.height()) * sy));
    return QRect(left, top, right - left, bottom - top);
}

QRect WindowMetrics::FaceToPicture(const QRect& button, QSize face) const {
    return ClientToPicture(QRect(ToClient(button).topLeft(), face));
}

WindowMetrics CurrentWindowMetrics() {
    WindowMetrics m;
    m.base = controls::DialogBaseUnits(controls::DialogFont());
    m.caption =
        QApplication::style() ? QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight) : 0;
    if (m.caption < 0) m.caption = 0;
    return m;
}

}  // namespace controls

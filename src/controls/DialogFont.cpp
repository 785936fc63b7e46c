#include "controls/DialogFont.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QStringList>

namespace controls {

QFont DialogFont() {
    const QString preferred = QStringLiteral("MS Sans Serif");
    if (QFontDatabase::families().contains(preferred, Qt::CaseInsensitive)) {
        QFont font(preferred);
        font.setPointSize(8);
        return font;
    }
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}

QSize DialogBaseUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    // Average of 52 letters, rounded to nearest: (letters / 26 + 1) / 2.
    const int baseX = (letters / 26 + 1) / 2;
    return QSize(baseX > 0 ? baseX : 1, metrics.height() > 0 ? metrics.height() : 1);
}

int DialogXToPixels(int x, const QSize& base) {
    return x * base.width() / 4;
}

int DialogYToPixels(int y, const QSize& base) {
    return y * base.height() / 8;
}

QRect DialogRectToPixels(const QRect& du, const QSize& base) {
    const int left = DialogXToPixels(du.left(), base);
    const int top = DialogYToPixels(du.top(), base);
    const int right = DialogXToPixels(du.left() + du.width(), base);
    const int bottom = DialogYToPixels(du.top() + du.height(), base);
    return QRect(left, top, right - left, bottom - top);
}

}  // namespace controls

#include "Artwork.h"

#include <algorithm>

#include <QFont>
#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>

namespace artwork {

namespace {

// The skin's colours.
const QColor kPanelTop(204, 200, 220);
const QColor kPanelBottom(146, 142, 170);
const QColor kBevelLight(240, 238, 248);
const QColor kBevelDark(78, 74, 100);
const QColor kTitleDark(40, 38, 56);
const QColor kTitleGreen(120, 236, 96);
const QColor kTabTop(150, 164, 192);
const QColor kTabBottom(88, 102, 134);
const QColor kTabEdge(56, 66, 92);
const QColor kOliveTop(86, 84, 42);
const QColor kOliveBottom(50, 48, 22);
const QColor kOrange(255, 146, 24);
const QColor kWell(118, 114, 142);

QFont BoldFont(int pixelSize, const QString& family = QStringLiteral("DejaVu Sans")) {
    QFont f(family);
    f.setPixelSize(pixelSize);
    f.setBold(true);
    f.setHintingPreference(QFont::PreferFullHinting);
    return f;
}

// A small deterministic generator for the brushed-metal streaks, so every build
// draws the same picture.
struct Lcg {
    quint32 state;
    quint32 Next() {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
    double Unit() { return (Next() & 0xffff) / 65535.0; }
};

// A rounded rectangle with a one-pixel sunken (dark top-left, light bottom-right)
// or raised bevel drawn just outside `r`.
void Bevel(QPainter& p, const QRectF& r, double radius, bool sunken) {
    p.save();
    p.setBrush(Qt::NoBrush);
    QPen dark(kBevelDark, 1.0);
    QPen light(kBevelLight, 1.0);
    const QRectF outer = r.adjusted(-1.5, -1.5, 1.5, 1.5);
    p.setPen(sunken ? light : dark);
    p.drawRoundedRect(outer.translated(1, 1), radius + 1, radius + 1);
    p.setPen(sunken ? dark : light);
    p.drawRoundedRect(outer, radius + 1, radius + 1);
    p.restore();
}

void DrawTabShape(QPainter& p, const QRectF& r, const QString& word) {
    const double radius = r.height() / 2.0;
    QPainterPath path;
    path.moveTo(r.left(), r.top());
    path.lineTo(r.right() - radius, r.top());
    path.arcTo(QRectF(r.right() - 2 * radius, r.top(), 2 * radius, r.height()), 90, -180);
    path.lineTo(r.left(), r.bottom());
    path.closeSubpath();
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0.0, kTabTop);
    g.setColorAt(0.45, kTabTop.darker(112));
    g.setColorAt(0.55, kTabBottom.lighter(108));
    g.setColorAt(1.0, kTabBottom);
    p.setPen(QPen(kTabEdge, 1.0));
    p.setBrush(g);
    p.drawPath(path);
    // Highlight along the top.
    p.setPen(QPen(QColor(255, 255, 255, 110), 1.0));
    p.drawLine(QPointF(r.left() + 1.5, r.top() + 1.5), QPointF(r.right() - radius, r.top() + 1.5));
    if (word.isEmpty()) return;
    QFont f = BoldFont(int(r.height() * 0.45));
    f.setLetterSpacing(QFont::AbsoluteSpacing, 1.0);
    p.setFont(f);
    const QRectF textBox(r.left(), r.top(), r.width() - radius * 0.6, r.height());
    p.setPen(QColor(30, 36, 56, 170));
    p.drawText(textBox.translated(1, 1), Qt::AlignCenter, word);
    p.setPen(Qt::white);
    p.drawText(textBox, Qt::AlignCenter, word);
}

void DrawBadge(QPainter& p, const QPointF& centre, double radius, const QColor& light,
               const QColor& dark, const QColor& rim) {
    QRadialGradient g(centre - QPointF(radius * 0.35, radius * 0.4), radius * 1.4);
    g.setColorAt(0.0, light);
    g.setColorAt(1.0, dark);
    p.setPen(QPen(rim, 1.0));
    p.setBrush(g);
    p.drawEllipse(centre, radius, radius);
}

// A compact-disc emblem: silver disc with a rainbow sheen and a clear hub.
void DrawDisc(QPainter& p, const QPointF& c, double r) {
    p.save();
    p.setPen(QPen(QColor(90, 86, 112), 1.0));
    QRadialGradient base(c, r);
    base.setColorAt(0.0, QColor(250, 250, 255));
    base.setColorAt(1.0, QColor(190, 188, 206));
    p.setBrush(base);
    p.drawEllipse(c, r, r);
    QConicalGradient sheen(c, 30);
    sheen.setColorAt(0.00, QColor(255, 255, 255, 0));
    sheen.setColorAt(0.08, QColor(255, 180, 200, 120));
    sheen.setColorAt(0.14, QColor(180, 220, 255, 140));
    sheen.setColorAt(0.20, QColor(200, 255, 200, 110));
    sheen.setColorAt(0.28, QColor(255, 255, 255, 0));
    sheen.setColorAt(0.50, QColor(255, 255, 255, 0));
    sheen.setColorAt(0.58, QColor(255, 190, 170, 120));
    sheen.setColorAt(0.64, QColor(170, 210, 255, 140));
    sheen.setColorAt(0.70, QColor(210, 255, 200, 110));
    sheen.setColorAt(0.78, QColor(255, 255, 255, 0));
    sheen.setColorAt(1.00, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(sheen);
    p.drawEllipse(c, r - 1, r - 1);
    p.setPen(QPen(QColor(120, 116, 140), 1.0));
    p.setBrush(QColor(226, 224, 236));
    p.drawEllipse(c, r * 0.34, r * 0.34);
    p.setBrush(kPanelBottom.lighter(115));
    p.drawEllipse(c, r * 0.14, r * 0.14);
    p.restore();
}

}  // namespace

/*
 * The background, in picture pixels (514 x 336). Controls are placed through
 * WindowMetrics::ToPicture, so the white panel frames the track list, the tab
 * column lies under RIP / CVT / OPT, the well under the seek slider and the
 * transport buttons, and the dark plate under the three title buttons.
 */
QImage DrawBackground(const WindowMetrics& m, bool tabs) {
    QImage img(kBackgroundSize, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    const QRectF all(0, 0, img.width(), img.height());

    // Metal body: vertical gradient with faint horizontal brushing.
    QLinearGradient body(0, 0, 0, img.height());
    body.setColorAt(0.0, kPanelTop);
    body.setColorAt(0.5, QColor(178, 174, 198));
    body.setColorAt(1.0, kPanelBottom);
    p.fillRect(all, body);
    Lcg rng{0x5eed};
    for (int i = 0; i < 420; ++i) {
        const double y = rng.Unit() * img.height();
        const double x = rng.Unit() * img.width();
        const double len = 30 + rng.Unit() * 160;
        const bool lightStreak = rng.Next() & 1;
        p.setPen(QPen(lightStreak ? QColor(255, 255, 255, 22) : QColor(60, 50, 90, 16), 1.0));
        p.drawLine(QPointF(x, y + 0.5), QPointF(x + len, y + 0.5));
    }
    // Window edge: raised double bevel.
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(kBevelLight);
    p.drawLine(0, 0, img.width() - 1, 0);
    p.drawLine(0, 0, 0, img.height() - 1);
    p.setPen(kBevelDark);
    p.drawLine(0, img.height() - 1, img.width() - 1, img.height() - 1);
    p.drawLine(img.width() - 1, 0, img.width() - 1, img.height() - 1);
    p.setPen(QColor(222, 220, 234));
    p.drawLine(1, 1, img.width() - 2, 1);
    p.drawLine(1, 1, 1, img.height() - 2);
    p.setPen(QColor(112, 108, 134));
    p.drawLine(1, img.height() - 2, img.width() - 2, img.height() - 2);
    p.drawLine(img.width() - 2, 1, img.width() - 2, img.height() - 2);
    p.setRenderHint(QPainter::Antialiasing, true);

    // Title tab: a dark tab hanging from the top centre with the name in green.
    const double tabW = 170, tabH = 30;
    const QRectF title((img.width() - tabW) / 2, -8, tabW, tabH + 8);
    QPainterPath titlePath;
    titlePath.moveTo(title.left() - 14, 0);
    titlePath.cubicTo(title.left() - 2, 0, title.left() + 2, title.bottom(), title.left() + 16,
                      title.bottom());
    titlePath.lineTo(title.right() - 16, title.bottom());
    titlePath.cubicTo(title.right() - 2, title.bottom(), title.right() + 2, 0, title.right() + 14,
                      0);
    titlePath.closeSubpath();
    QLinearGradient titleFill(0, 0, 0, title.bottom());
    titleFill.setColorAt(0.0, QColor(64, 60, 86));
    titleFill.setColorAt(1.0, kTitleDark);
    p.setPen(QPen(QColor(24, 22, 34), 1.0));
    p.setBrush(titleFill);
    p.drawPath(titlePath);
    p.setPen(QPen(QColor(255, 255, 255, 60), 1.0));
    p.drawLine(QPointF(title.left() + 18, title.bottom() + 1.5),
               QPointF(title.right() - 18, title.bottom() + 1.5));
    QFont titleFont = BoldFont(17);
    titleFont.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
    p.setFont(titleFont);
    const QRectF titleText(title.left(), 0, title.width(), title.bottom());
    p.setPen(QColor(120, 236, 96, 60));
    for (const QPointF d : {QPointF(-1, 0), QPointF(1, 0), QPointF(0, -1), QPointF(0, 1)})
        p.drawText(titleText.translated(d), Qt::AlignCenter, QStringLiteral("Trackmill"));
    p.setPen(kTitleGreen);
    p.drawText(titleText, Qt::AlignCenter, QStringLiteral("Trackmill"));

    // Dark plate under the title buttons in the top-right corner.
    const QRect web = m.ToPicture(kWebButton);
    const QRect close = m.ToPicture(kCloseButton);
    const QRectF plate(web.left() - 6, -6, img.width() - web.left() + 12, close.bottom() + 10);
    p.setPen(QPen(QColor(24, 22, 34), 1.0));
    p.setBrush(QColor(52, 50, 30));
    p.drawRoundedRect(plate, 6, 6);

    // White panel framing the track list, sunken into the metal.
    const QRect list = m.ToPicture(kTrackList);
    const QRectF panel = QRectF(list).adjusted(-5, -5, 5, 5);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 30, 70, 40));
    p.drawRoundedRect(panel.translated(2, 2), 7, 7);
    Bevel(p, panel, 6, true);
    p.setPen(QPen(QColor(150, 146, 172), 1.0));
    p.setBrush(Qt::white);
    p.drawRoundedRect(panel, 6, 6);

    // The tab column: a rail on the left joining the three tabs that lie under
    // RIP, CVT and OPT, and round badges above it (the last one under the help
    // button).
    const QRect rip = m.ToPicture(kRipButton);
    const QRect opt = m.ToPicture(kOptionButton);
    const QRectF rail(rip.left() - 9, rip.top() - 8, 8, opt.bottom() - rip.top() + 16);
    p.setPen(QPen(kTabEdge, 1.0));
    QLinearGradient railFill(rail.topLeft(), rail.topRight());
    railFill.setColorAt(0.0, kTabTop);
    railFill.setColorAt(1.0, kTabBottom);
    p.setBrush(railFill);
    p.drawRoundedRect(rail, 3, 3);
    if (tabs) {
        for (const QRect& button : {kRipButton, kConvertButton, kOptionButton}) {
            const QRect r = m.FaceToPicture(button, kTabFaceSize);
            DrawTabShape(p, QRectF(r).adjusted(0.5, 0.5, -0.5, -0.5), {});
        }
    }

    const QRect help = m.FaceToPicture(kHelpButton, kHelpFaceSize);
    const QPointF helpCentre = QRectF(help).center();
    const double badgeR = 7;
    for (int i = 0; i < 2; ++i) {
        const QPointF c(rip.left() + 6 + i * 19, helpCentre.y());
        Bevel(p, QRectF(c.x() - badgeR, c.y() - badgeR, 2 * badgeR, 2 * badgeR), badgeR, true);
        DrawBadge(p, c, badgeR, i == 0 ? QColor(190, 255, 170) : QColor(255, 214, 150),
                  i == 0 ? QColor(40, 150, 40) : QColor(210, 120, 20), QColor(60, 56, 80));
    }
    const double helpR = std::max(help.width(), help.height()) / 2.0 + 1.5;
    Bevel(p, QRectF(helpCentre.x() - helpR, helpCentre.y() - helpR, 2 * helpR, 2 * helpR), helpR,
          true);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(120, 116, 142));
    p.drawEllipse(helpCentre, helpR, helpR);

    // Disc emblem at the foot of the column.
    const double discR = 34;
    const QPointF discCentre((rail.left() + rip.right()) / 2.0 + 2, opt.bottom() + 24 + discR);
    DrawDisc(p, discCentre, discR);

    // Well under the seek slider and the transport buttons.
    const QRect slider = m.ToPicture(kSeekSlider);
    const QRect lastButton = m.ToPicture(
        QRect(kTransportLeft[6], kTransportTop, kTransportSize.width(), kTransportSize.height()));
    const QRectF well(slider.left() - 4, slider.top() - 3,
                      std::max(slider.right(), lastButton.right()) - slider.left() + 9,
                      img.height() - 7 - (slider.top() - 3));
    Bevel(p, well, 6, true);
    QLinearGradient wellFill(well.topLeft(), well.bottomLeft());
    wellFill.setColorAt(0.0, kWell.darker(108));
    wellFill.setColorAt(1.0, kWell.lighter(110));
    p.setPen(QPen(QColor(96, 92, 120), 1.0));
    p.setBrush(wellFill);
    p.drawRoundedRect(well, 6, 6);
    // A faint groove line between the slider and the buttons.
    const double grooveY =
        (slider.bottom() + m.ToPicture(QRect(kTransportLeft[0], kTransportTop, 1, 1)).top()) / 2.0;
    p.setPen(QPen(QColor(255, 255, 255, 50), 1.0));
    p.drawLine(QPointF(well.left() + 8, grooveY + 1), QPointF(well.right() - 8, grooveY + 1));
    p.setPen(QPen(QColor(40, 30, 70, 60), 1.0));
    p.drawLine(QPointF(well.left() + 8, grooveY), QPointF(well.right() - 8, grooveY));

    // Small engraved caption and indicator badges to the right of the well.
    QFont small = BoldFont(9);
    small.setLetterSpacing(QFont::AbsoluteSpacing, 2.0);
    p.setFont(small);
    const QRectF caption(well.right() + 8, well.top() + 4, list.right() + 5 - well.right() - 8, 16);
    p.setPen(QColor(255, 255, 255, 110));
    p.drawText(caption.translated(0, 1), Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("CD AUDIO"));
    p.setPen(QColor(70, 64, 96));
    p.drawText(caption, Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("CD AUDIO"));
    for (int i = 0; i < 3; ++i) {
        const QPointF c(caption.right() - 5 - i * 14, caption.bottom() + 14);
        DrawBadge(p, c, 4.5, QColor(230, 228, 240), QColor(140, 136, 164), QColor(80, 76, 104));
    }
    return img;
}

QImage BackgroundUnder(const QImage& background, const WindowMetrics& m, const QRect& button,
                       QSize size) {
    const QSize client = m.ClientSize();
    const QImage stretched =
        background.scaled(client, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const QRect at = m.ToClient(button);
    QImage under(size, QImage::Format_RGB32);
    QPainter p(&under);
    p.fillRect(under.rect(), background.pixel(0, 0));
    p.drawImage(QPoint(0, 0), stretched, QRect(at.topLeft(), size));
    return under;
}

QImage DrawTitleButton(char kind, const QImage& under) {
    QImage img = under.convertToFormat(QImage::Format_RGB32).copy(0, 0, 19, 19);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    const QRectF r(0.5, 0.5, 18, 18);
    QLinearGradient g(0, 0, 0, 19);
    g.setColorAt(0.0, kOliveTop);
    g.setColorAt(1.0, kOliveBottom);
    p.setPen(QPen(QColor(24, 22, 10), 1.0));
    p.setBrush(g);
    p.drawRoundedRect(r, 2.5, 2.5);
    p.setPen(QPen(QColor(255, 255, 255, 45), 1.0));
    p.drawLine(QPointF(2.5, 1.5), QPointF(16.5, 1.5));

    const QColor glyph = kOrange;
    QPen pen(glyph, 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    switch (kind) {
        case 'C':
            p.drawLine(QPointF(5.5, 5.5), QPointF(13.5, 13.5));
            p.drawLine(QPointF(13.5, 5.5), QPointF(5.5, 13.5));
            break;
        case 'I':
            p.drawLine(QPointF(5, 13), QPointF(14, 13));
            break;
        default: {  // 'M'
            QPainterPath m;
            m.moveTo(5, 14);
            m.lineTo(5, 5.5);
            m.lineTo(9.5, 10.5);
            m.lineTo(14, 5.5);
            m.lineTo(14, 14);
            pen.setWidthF(2.0);
            p.setPen(pen);
            p.drawPath(m);
            break;
        }
    }
    return img;
}

QImage DrawHelpBadge(const QImage& under) {
    QImage img = under.convertToFormat(QImage::Format_RGB32).copy(0, 0, 25, 25);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    const QPointF c(12.5, 12.5);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 30, 60, 70));
    p.drawEllipse(c + QPointF(0.7, 0.9), 11.5, 11.5);
    DrawBadge(p, c, 11.3, QColor(255, 248, 224), QColor(214, 190, 140), QColor(120, 98, 60));
    QFont f = BoldFont(17);
    p.setFont(f);
    p.setPen(QColor(255, 255, 255, 150));
    p.drawText(QRectF(0, 1, 25, 25), Qt::AlignCenter, QStringLiteral("?"));
    p.setPen(QColor(66, 50, 30));
    p.drawText(QRectF(0, 0, 25, 25), Qt::AlignCenter, QStringLiteral("?"));
    return img;
}

QImage DrawTab(const QString& word, const QImage& under) {
    QImage img = under.convertToFormat(QImage::Format_RGB32).copy(0, 0, 90, 27);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    DrawTabShape(p, QRectF(0.5, 0.5, 89, 26), word);
    return img;
}

/*
 * A transport face. The black set is 23 x 21; the blue set is 22 x 20, drawn as
 * the same key pushed in (darker top, brighter bottom) so a press looks like one.
 */
QImage DrawTransport(Symbol symbol, bool blue, const QImage& under) {
    const QSize size = blue ? kTransportPressedSize : kTransportFaceSize;
    QImage img = under.convertToFormat(QImage::Format_RGB32).copy(QRect(QPoint(0, 0), size));
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    const QRectF key(0.5, 0.5, size.width() - 1, size.height() - 1);
    QLinearGradient g(0, 0, 0, size.height());
    if (blue) {
        g.setColorAt(0.0, QColor(196, 198, 212));
        g.setColorAt(1.0, QColor(232, 234, 244));
    } else {
        g.setColorAt(0.0, QColor(246, 246, 250));
        g.setColorAt(0.5, QColor(222, 222, 230));
        g.setColorAt(1.0, QColor(190, 190, 202));
    }
    p.setPen(QPen(QColor(70, 68, 88), 1.0));
    p.setBrush(g);
    p.drawRoundedRect(key, 3, 3);
    if (!blue) {
        p.setPen(QPen(QColor(255, 255, 255, 180), 1.0));
        p.drawLine(QPointF(2.5, 1.5), QPointF(size.width() - 3.5, 1.5));
    }

    const QColor ink = blue ? QColor(30, 104, 226) : QColor(0, 0, 0);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    const double cx = size.width() / 2.0;
    const double cy = size.height() / 2.0;
    auto triangle = [&](double tipX, double baseX) {  // horizontal triangle, 8 px tall
        const QPointF pts[3] = {{baseX, cy - 4.5}, {baseX, cy + 4.5}, {tipX, cy}};
        p.drawPolygon(pts, 3);
    };
    switch (symbol) {
        case Symbol::Play:
            triangle(cx + 4.5, cx - 3.5);
            break;
        case Symbol::Stop:
            p.drawRect(QRectF(cx - 4, cy - 4, 8, 8));
            break;
        case Symbol::Pause:
            p.drawRect(QRectF(cx - 4.5, cy - 4.5, 3, 9));
            p.drawRect(QRectF(cx + 1.5, cy - 4.5, 3, 9));
            break;
        case Symbol::First:
            p.drawRect(QRectF(cx - 5.5, cy - 4.5, 2, 9));
            triangle(cx - 3.5, cx + 4.5);
            break;
        case Symbol::Back:
            triangle(cx - 6, cx);
            triangle(cx, cx + 6);
            break;
        case Symbol::Forward:
            triangle(cx + 6, cx);
            triangle(cx, cx - 6);
            break;
        case Symbol::Next:
            triangle(cx + 3.5, cx - 4.5);
            p.drawRect(QRectF(cx + 3.5, cy - 4.5, 2, 9));
            break;
    }
    return img;
}

/*
 * The skin cursor: an orange triangle pointing up-left, tip on the hot spot (7, 7),
 * with a one-pixel black outline; drawn without smoothing because the cursor
 * format keeps only fully opaque or fully transparent pixels.
 */
QImage DrawCursor() {
    QImage img(32, 32, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, false);
    const QPoint tip = kCursorHotSpot;
    // Arrow head: a vertical left edge, a 45-degree right edge, a notch at the foot.
    const QPoint pts[4] = {tip, tip + QPoint(0, 17), tip + QPoint(5, 12), tip + QPoint(12, 12)};
    QLinearGradient g(tip, tip + QPoint(6, 14));
    g.setColorAt(0.0, QColor(255, 196, 80));
    g.setColorAt(1.0, QColor(236, 110, 0));
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(g);
    p.drawPolygon(pts, 4);
    return img;
}

/*
 * The application icon: two beamed eighth notes in deep blue on a sky-blue square.
 * Geometry is given on a 32-unit grid and scaled to the size asked for.
 */
QImage DrawAppIcon(int size) {
    QImage img(size, size, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    const double s = size / 32.0;
    p.scale(s, s);
    QLinearGradient sky(0, 0, 0, 32);
    sky.setColorAt(0.0, QColor(170, 222, 255));
    sky.setColorAt(1.0, QColor(86, 168, 236));
    // The outline is one pixel up to 48 pixels and grows slowly beyond (4 at 256),
    // so the large theme icons keep a fine edge.
    const double outline = size >= 32 ? std::max(1.0, size / 64.0) / s : 0.0;
    p.setPen(outline > 0 ? QPen(QColor(40, 100, 170), outline) : Qt::NoPen);
    p.setBrush(sky);
    const double inset = size >= 32 ? outline / 2 : 0.5;
    p.drawRoundedRect(QRectF(inset, inset, 32 - 2 * inset, 32 - 2 * inset), 3, 3);

    const QColor ink(16, 52, 160);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    // Note heads, tilted ellipses.
    for (const QPointF head : {QPointF(10, 24), QPointF(23, 21.5)}) {
        p.save();
        p.translate(head);
        p.rotate(-22);
        p.drawEllipse(QPointF(0, 0), 4.6, 3.4);
        p.restore();
    }
    // Stems and the beam joining them.
    p.drawRect(QRectF(13.2, 7.5, 2.2, 16));
    p.drawRect(QRectF(26.2, 5, 2.2, 16));
    QPainterPath beam;
    beam.moveTo(13.2, 7.5);
    beam.lineTo(28.4, 5);
    beam.lineTo(28.4, 9.5);
    beam.lineTo(13.2, 12);
    beam.closeSubpath();
    p.drawPath(beam);
    // A little light on the heads.
    p.setBrush(QColor(255, 255, 255, 110));
    p.drawEllipse(QPointF(8.6, 22.6), 1.3, 0.9);
    p.drawEllipse(QPointF(21.6, 20.1), 1.3, 0.9);
    return img;
}

}  // namespace artwork

#include "controls/HoverButton.h"

#include <QEnterEvent>
#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>
#include <algorithm>

namespace {

// Frame pens: colour and width per edge, for the hover and the focus frames.
struct FramePens {
    QColor left, right, top, bottom;
};
const FramePens kHoverPens{{250, 196, 88}, {251, 202, 106}, {252, 210, 121}, {229, 151, 0}};
const FramePens kFocusPens{{153, 198, 252}, {162, 189, 252}, {162, 201, 255}, {162, 201, 255}};

// The edge between the outline and the face, on each side (the platform's
// standard 3-D edge).
constexpr int kEdge = 2;
// How long the pointer must rest before the hover look shows, in milliseconds.
constexpr int kHoverTimeMs = 1;

}  // namespace

HoverButton::HoverButton(QWidget* parent) : QPushButton(parent) {
    Setup();
}

HoverButton::HoverButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {
    Setup();
}

HoverButton::~HoverButton() = default;

void HoverButton::Setup() {
    // Every pixel inside the rounded region is painted here: no background erase,
    // so hover changes repaint without a flash.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    hoverTimer_ = new QTimer(this);
    hoverTimer_->setSingleShot(true);
    hoverTimer_->setInterval(kHoverTimeMs);
    connect(hoverTimer_, &QTimer::timeout, this, [this] {
        if (!tracking_ || !isEnabled()) return;
        hover_ = true;
        update();
    });
    setMask(RoundedRegion(size()));
}

QColor HoverButton::StepColour(int i, bool hover, bool highlighted) {
    i = std::clamp(i, 0, 63);
    int rg, b;
    if (!hover) {
        rg = 255 - i / 3;
        b = highlighted ? 255 - i / 4 : 255 - i / 5;
    } else {
        rg = 255 - i / 4;
        b = highlighted ? 255 - i / 3 : 255 - i / 5;
    }
    return QColor(rg, rg, b);
}

int HoverButton::StepForRow(int y, int faceHeight) {
    if (faceHeight <= 0) return 63;  // no face to spread the gradient over
    if (y <= 0) return 0;
    return std::min(63, 63 * y / faceHeight);
}

/*
 * The button's shape: its client rectangle (0, 0, w, h) with each corner cut along
 * a 5 x 5 ellipse, which leaves out three pixels per corner: two on the outermost
 * row and one on the next.
 */
QRegion HoverButton::RoundedRegion(const QSize& size) {
    const int w = size.width();
    const int h = size.height();
    if (w < 5 || h < 5) return QRegion(0, 0, std::max(w, 0), std::max(h, 0));
    QRegion region(0, 2, w, h - 4);
    region += QRegion(1, 1, w - 2, 1);
    region += QRegion(1, h - 2, w - 2, 1);
    region += QRegion(2, 0, w - 4, 1);
    region += QRegion(2, h - 1, w - 4, 1);
    return region;
}

void HoverButton::resizeEvent(QResizeEvent* e) {
    // The region follows the size, so a button laid out after construction is
    // still rounded at its real size.
    setMask(RoundedRegion(size()));
    QPushButton::resizeEvent(e);
}

void HoverButton::Track() {
    if (tracking_ || !isEnabled()) return;
    tracking_ = true;
    hoverTimer_->start();
}

void HoverButton::enterEvent(QEnterEvent* e) {
    Track();
    QPushButton::enterEvent(e);
}

void HoverButton::mouseMoveEvent(QMouseEvent* e) {
    Track();
    QPushButton::mouseMoveEvent(e);
}

void HoverButton::leaveEvent(QEvent* e) {
    hoverTimer_->stop();
    hover_ = false;
    tracking_ = false;
    update();
    QPushButton::leaveEvent(e);
}

void HoverButton::changeEvent(QEvent* e) {
    // A disabled button gets no pointer input, so it never keeps the hover look.
    if (e->type() == QEvent::EnabledChange && !isEnabled()) {
        hoverTimer_->stop();
        hover_ = false;
        tracking_ = false;
    }
    QPushButton::changeEvent(e);
}

/*
 * Paints the whole button, client coordinates (0, 0, w, h):
 *   1. the rounded outline in black, the ring inside it white;
 *   2. the face rectangle = client shrunk by the 2-pixel edge, filled with the
 *      gradient of the state (DrawFace);
 *   3. the hover or focus frame (DrawFrame) when hovered or focused;
 *   4. the caption centred on the face, moved (1, 1) while pressed; disabled
 *      buttons draw it embossed (white under mid-grey), the classic disabled look.
 */
void HoverButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, false);
    const int w = width();
    const int h = height();

    // Outline and ring.
    p.fillRect(rect(), Qt::white);
    if (w >= 5 && h >= 5) {
        p.fillRect(2, 0, w - 4, 1, Qt::black);
        p.fillRect(2, h - 1, w - 4, 1, Qt::black);
        p.fillRect(0, 2, 1, h - 4, Qt::black);
        p.fillRect(w - 1, 2, 1, h - 4, Qt::black);
        for (const QPoint& corner :
             {QPoint(1, 1), QPoint(w - 2, 1), QPoint(1, h - 2), QPoint(w - 2, h - 2)})
            p.fillRect(corner.x(), corner.y(), 1, 1, Qt::black);
    }

    focused_ = hasFocus();
    highlighted_ = focused_;
    const bool pressed = isDown();
    if (pressed || isDefault()) highlighted_ = true;

    const QRect face(QPoint(kEdge, kEdge), QPoint(w - kEdge - 1, h - kEdge - 1));
    if (face.width() > 0 && face.height() > 0) {
        DrawFace(p, face);
        if (hover_ || focused_) DrawFrame(p, face);
    }

    const QString caption = text();
    if (caption.isEmpty()) return;
    p.setFont(font());
    const QFontMetrics metrics(font());
    const int cx = metrics.horizontalAdvance(caption);
    const int cy = metrics.height();
    // Face edges in the GDI sense (right and bottom exclusive).
    const int faceRight = face.left() + face.width();
    const int faceBottom = face.top() + face.height();
    int x = (face.left() + faceRight) / 2 - cx / 2;
    int y = (face.top() + faceBottom) / 2 - cy / 2;
    if (pressed) {
        ++x;
        ++y;
    }
    const int baseline = y + metrics.ascent();
    if (isEnabled()) {
        p.setPen(Qt::black);
        p.drawText(x, baseline, caption);
    } else {
        // Embossed: a white copy one pixel down and right under a mid-grey one.
        p.setPen(QColor(255, 255, 255));
        p.drawText(x + 1, baseline + 1, caption);
        p.setPen(QColor(128, 128, 128));
        p.drawText(x, baseline, caption);
    }
}

/*
 * One row per client row y from face.top to face.bottom inclusive (the face and
 * the row just below it), across the face's width, coloured by step
 * StepForRow(y, face height). y is a client coordinate, so the top rows of the
 * face take step 63 * 2 / h rather than 0.
 */
void HoverButton::DrawFace(QPainter& p, const QRect& face) {
    const int h = face.height();
    const int bottom = face.top() + h;  // exclusive bottom: the extra row
    for (int y = face.top(); y <= bottom; ++y)
        p.fillRect(face.left(), y, face.width(), 1,
                   StepColour(StepForRow(y, h), hover_, highlighted_));
}

/*
 * The frame lines, face rectangle (l, t, r, b) with r and b exclusive:
 *   left  (3 px) on column l,    rows t+2 .. b-1
 *   right (3 px) on column r-1,  rows t+1 .. b-1
 *   top   (2 px) on row t,       columns l-1 .. r-2
 *   bottom(2 px) on row b,       columns l .. r-2
 * each line widened about its centre (odd widths evenly, even widths towards the
 * top/left). Hover wins over focus; focus alone adds the dotted focus rectangle.
 */
void HoverButton::DrawFrame(QPainter& p, const QRect& face) {
    const bool focusLook = focused_ && !hover_;
    const FramePens& pens = focusLook ? kFocusPens : kHoverPens;
    const int l = face.left();
    const int t = face.top();
    const int r = face.left() + face.width();
    const int b = face.top() + face.height();
    p.fillRect(QRect(QPoint(l - 1, t + 2), QPoint(l + 1, b - 1)), pens.left);
    p.fillRect(QRect(QPoint(r - 2, t + 1), QPoint(r, b - 1)), pens.right);
    p.fillRect(QRect(QPoint(l - 1, t - 1), QPoint(r - 2, t)), pens.top);
    p.fillRect(QRect(QPoint(l, b - 1), QPoint(r - 2, b)), pens.bottom);

    if (focusLook) {
        // Dotted focus rectangle on the face's border: every other pixel inverted.
        p.save();
        p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        const QColor invert(255, 255, 255);
        const int right = r - 1;
        const int bottom = b - 1;
        int i = 0;
        auto dot = [&](int x, int y) {
            if ((i++ & 1) == 0) p.fillRect(x, y, 1, 1, invert);
        };
        for (int x = l; x < right; ++x) dot(x, t);
        for (int y = t; y < bottom; ++y) dot(right, y);
        for (int x = right; x > l; --x) dot(x, bottom);
        for (int y = bottom; y > t; --y) dot(l, y);
        p.restore();
    }
}

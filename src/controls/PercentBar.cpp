#include "controls/PercentBar.h"

#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <cmath>
#include <limits>

#include "platform/WindowMessages.h"

// The bar's state: what it paints from and its drawing surfaces, made once by
// Initialize and released with the bar.
struct PercentBar::PercentBarData {
    std::uint32_t range = 100;
    std::uint32_t position = 0;
    QColor fillColour{153, 198, 252};
    QColor remainderColour{255, 255, 255};
    QColor shadowColour{128, 128, 128};
    QColor lightColour{192, 192, 192};
    bool showText = true;
    QImage buffer;  // (client width + 2) x (client height + 2), made once
    int paintCount = 0;
};

PercentBar::PercentBar(QWidget* parent) : QProgressBar(parent) {}

PercentBar::~PercentBar() = default;

bool PercentBar::Initialize() {
    if (data_) return false;
    auto data = std::make_unique<PercentBarData>();
    const QSize client = size();
    data->buffer = QImage(client.width() + 2, client.height() + 2, QImage::Format_RGB32);
    if (data->buffer.isNull()) return false;  // nothing attached: the bar stays plain
    data->buffer.fill(Qt::white);
    data_ = std::move(data);
    // Everything inside the bar is painted from the buffer: no background erase.
    setAttribute(Qt::WA_OpaquePaintEvent);
    update();
    return true;
}

std::uint32_t PercentBar::PerMille(std::uint32_t v, std::uint32_t range) {
    if (range == 0) return 0;
    return static_cast<std::uint32_t>(std::uint64_t{v} * 1000u / range);
}

int PercentBar::PaintCount() const {
    return data_ ? data_->paintCount : 0;
}

bool PercentBar::event(QEvent* e) {
    if (platform::IsWindowMessage(e)) {
        auto* msg = static_cast<platform::WindowMessageEvent*>(e);
        // wParam carries an unsigned 32-bit value; wider bits are not part of it.
        const auto value = static_cast<std::uint32_t>(msg->wParam);
        if (HandleMessage(msg->message(), value, msg->result)) return true;
    }
    return QProgressBar::event(e);
}

/*
 * Applies one PBX_* message to the record.
 *   message: the message number; value: its wParam as unsigned 32 bits;
 *   result: receives the answer of the GET messages.
 * A position change repaints only when the per-mille value moves, so the flood of
 * per-block progress messages costs nothing between visible steps. Before
 * Initialize the messages are accepted and ignored (answer 0).
 */
bool PercentBar::HandleMessage(int message, std::uint32_t value, std::intptr_t& result) {
    switch (message) {
        case core::PBX_SETRANGE:
        case core::PBX_GETRANGE:
        case core::PBX_SETPOS:
        case core::PBX_GETPOS:
        case core::PBX_DELTAPOS:
            break;
        default:
            return false;
    }
    result = 0;
    PercentBarData* d = data_.get();
    if (!d) return true;
    switch (message) {
        case core::PBX_SETRANGE:
            d->range = value;
            if (d->position > value) d->position = value;
            RepaintNow();
            break;
        case core::PBX_GETRANGE:
            result = static_cast<std::intptr_t>(d->range);
            break;
        case core::PBX_SETPOS: {
            const bool visible = PerMille(value, d->range) != PerMille(d->position, d->range);
            d->position = value;
            if (visible) RepaintNow();
            break;
        }
        case core::PBX_GETPOS:
            result = static_cast<std::intptr_t>(d->position);
            break;
        case core::PBX_DELTAPOS: {
            std::uint32_t n = d->position + value;
            // A sum that wraps past 32 bits is past any range: saturate rather than
            // let the bar jump back towards zero.
            if (n < d->position) n = std::numeric_limits<std::uint32_t>::max();
            const bool visible = PerMille(n, d->range) != PerMille(d->position, d->range);
            d->position = n > d->range ? d->range : n;
            if (visible) RepaintNow();
            break;
        }
    }
    return true;
}

void PercentBar::RepaintNow() {
    repaint();
}

void PercentBar::paintEvent(QPaintEvent* e) {
    if (!data_) {
        QProgressBar::paintEvent(e);
        return;
    }
    Paint();
    ++data_->paintCount;
    QPainter screen(this);
    const QRect client = rect();
    screen.drawImage(QPoint(0, 0), data_->buffer, client);
}

/*
 * Draws the bar into the off-screen buffer. Coordinates are client pixels, the
 * client rectangle (0, 0, w, h) with right and bottom exclusive as in GDI:
 *   - the whole client white;
 *   - a sunken frame: black inner line at column 1 / row 1, grey outer line at
 *     column 0 / row 0, light grey at row h-2 / column w-2; the last row and
 *     column stay white;
 *   - the inner rectangle (L, T, R, B) = client shrunk by 2; the fill runs from L
 *     to L + trunc(W * pct / 100) with W = R - L + 1, so at 100 % it covers one
 *     column past R (the light frame column), and beyond 100 % it runs on to the
 *     right edge of the control;
 *   - the text "%1.1f%" centred on the inner rectangle, black, drawn over the
 *     light-blue fill on the left and over white on the right.
 * Known limit: the buffer is sized once, at Initialize; a bar resized later paints
 * only the part that fits.
 */
void PercentBar::Paint() {
    PercentBarData* d = data_.get();
    QImage& buffer = d->buffer;
    const int w = width();
    const int h = height();
    QPainter p(&buffer);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(buffer.rect(), Qt::white);

    // Frame: three polylines, end points not drawn, as one-pixel runs.
    auto hline = [&p](int x0, int x1, int y, const QColor& c) {  // x0..x1 excluded end
        if (x1 > x0)
            p.fillRect(x0, y, x1 - x0, 1, c);
        else if (x0 > x1)
            p.fillRect(x1 + 1, y, x0 - x1, 1, c);
    };
    auto vline = [&p](int x, int y0, int y1, const QColor& c) {
        if (y1 > y0)
            p.fillRect(x, y0, 1, y1 - y0, c);
        else if (y0 > y1)
            p.fillRect(x, y1 + 1, 1, y0 - y1, c);
    };
    // Black: (1, h-3) -> (1, 1) -> (w-2, 1).
    vline(1, h - 3, 1, Qt::black);
    hline(1, w - 2, 1, Qt::black);
    // Shadow: (0, h-2) -> (0, 0) -> (w-1, 0).
    vline(0, h - 2, 0, d->shadowColour);
    hline(0, w - 1, 0, d->shadowColour);
    // Light: (1, h-2) -> (w-2, h-2) -> (w-2, 0).
    hline(1, w - 2, h - 2, d->lightColour);
    vline(w - 2, h - 2, 0, d->lightColour);

    // A range of 0 has no meaningful percentage: show 0.0 % and no fill. The range
    // is taken unsigned, so ranges past 2^31 do not turn the percentage negative.
    const float pct = d->range == 0 ? 0.0f : static_cast<float>(d->position * 100.0 / d->range);
    const QString text =
        d->showText ? QString::asprintf("%1.1f", static_cast<double>(pct)) + QLatin1Char('%')
                    : QString();

    const int L = 2, T = 2, R = w - 2, B = h - 2;
    const int W = R - L + 1;
    // The fill edge, truncated toward zero; kept within the buffer so a position far
    // past the range cannot overflow the integer conversion.
    double edge = std::trunc(W * static_cast<double>(pct) * 0.01);
    if (!(edge >= 0.0)) edge = 0.0;  // also catches NaN
    const double maxEdge = static_cast<double>(buffer.width());
    if (edge > maxEdge) edge = maxEdge;
    const int fillRight = L + static_cast<int>(edge);

    p.setFont(font());
    const QFontMetrics metrics(font());
    const int cx = metrics.horizontalAdvance(text);
    const int cy = metrics.height();
    const int x = (R - cx - L + 1) / 2;
    const int y = (B - cy - T + 1) / 2 + 1;

    // Two opaque passes: fill colour left of the edge, remainder colour right of it,
    // the same text clipped to each.
    const QRect filled(QPoint(L, T), QPoint(fillRight - 1, B - 1));
    const QRect rest(QPoint(fillRight, T), QPoint(R - 1, B - 1));
    for (const auto& [clip, colour] :
         {std::pair{filled, d->fillColour}, std::pair{rest, d->remainderColour}}) {
        if (clip.isEmpty()) continue;
        p.setClipRect(clip);
        p.fillRect(clip, colour);
        p.setPen(Qt::black);
        p.drawText(x, y + metrics.ascent(), text);
    }
    p.setClipping(false);
}

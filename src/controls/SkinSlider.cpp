#include "controls/SkinSlider.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionSlider>
#include <utility>

#include "controls/SkinResources.h"

SkinSlider::SkinSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    const QCursor cursor = controls::SkinCursor(&skinCursor_);
    if (skinCursor_) setCursor(cursor);
}

SkinSlider::~SkinSlider() = default;

void SkinSlider::SetBackdropSource(BackdropSource source) {
    source_ = std::move(source);
    backdrop_ = QImage();
    // The slider paints every pixel itself once it has a backdrop to paint.
    setAttribute(Qt::WA_OpaquePaintEvent, static_cast<bool>(source_));
    update();
}

// Takes the owner's picture under the slider, once. A later paint captures again
// only when the slider's size has changed, so the capture always covers it.
bool SkinSlider::CaptureBackdrop() {
    if (!backdrop_.isNull() && backdrop_.size() == size()) return true;
    if (!source_) return false;
    QImage picture = source_(geometry());
    if (picture.isNull() || picture.size() != size()) return false;
    backdrop_ = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    return true;
}

void SkinSlider::DrawBase(QPainter& p) {
    p.fillRect(rect(), palette().window());
    if (tickPosition() == QSlider::NoTicks) return;
    QStyleOptionSlider option;
    initStyleOption(&option);
    option.subControls = QStyle::SC_SliderTickmarks;
    style()->drawComplexControl(QStyle::CC_Slider, &option, &p, this);
}

/*
 * Paints the slider over the captured backdrop, in slider client pixels:
 *   1. the base drawing (DrawBase) into an off-screen image of the slider's size;
 *   2. every pixel of it that is not opaque pure black becomes the backdrop's
 *      pixel at the same place;
 *   3. the style draws the channel (groove) and the thumb (handle) on top;
 *   4. the image is copied to the slider unscaled at (0, 0).
 */
void SkinSlider::paintEvent(QPaintEvent* e) {
    if (!CaptureBackdrop()) {
        QSlider::paintEvent(e);
        return;
    }
    QImage canvas(size(), QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    {
        QPainter base(&canvas);
        DrawBase(base);
    }
    constexpr QRgb kBlack = 0xff000000u;
    for (int y = 0; y < canvas.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(canvas.scanLine(y));
        const auto* back = reinterpret_cast<const QRgb*>(backdrop_.constScanLine(y));
        for (int x = 0; x < canvas.width(); ++x)
            if (line[x] != kBlack) line[x] = back[x];
    }
    {
        QPainter top(&canvas);
        QStyleOptionSlider option;
        initStyleOption(&option);
        option.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderHandle;
        style()->drawComplexControl(QStyle::CC_Slider, &option, &top, this);
    }
    QPainter p(this);
    p.drawImage(QPoint(0, 0), canvas);
}

void SkinSlider::mouseReleaseEvent(QMouseEvent* e) {
    QSlider::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton) emit captureReleased();
}

// Skin slider: the owner's picture around the channel and thumb, captured once, with
// the pure-black pixels of the slider's own base drawing kept.
#include <gtest/gtest.h>
#include <QApplication>
#include <QPainter>
#include <QStyleOptionSlider>

#include "controls/SkinSlider.h"

namespace {

// A base drawing with one pure-black column and one nearly black column.
class MarkedSlider : public SkinSlider {
  public:
    using SkinSlider::SkinSlider;
    static constexpr int kBlackColumn = 3;
    static constexpr int kNearBlackColumn = 5;

  protected:
    void DrawBase(QPainter& p) override {
        SkinSlider::DrawBase(p);
        p.fillRect(kBlackColumn, 0, 1, height(), QColor(0, 0, 0));
        p.fillRect(kNearBlackColumn, 0, 1, height(), QColor(1, 0, 0));
    }
};

TEST(SkinSlider, ShowsTheBackdropOnceCapturedAndKeepsItsOwnBlackPixels) {
    QWidget window;
    window.resize(300, 100);
    auto* slider = new MarkedSlider(&window);
    slider->setGeometry(20, 40, 200, 24);
    slider->setRange(0, 100);
    slider->setValue(80);  // the thumb away from the marked columns
    int captures = 0;
    slider->SetBackdropSource([&](const QRect& r) {
        ++captures;
        EXPECT_EQ(r, slider->geometry());
        QImage picture(r.size(), QImage::Format_RGB32);
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                picture.setPixel(x, y, qRgb(x, 2 * y, 100 + captures));
        return picture;
    });
    window.show();
    QApplication::processEvents();
    slider->setValue(90);
    QApplication::processEvents();
    const QImage shown = slider->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(captures, 1);
    ASSERT_FALSE(slider->Backdrop().isNull());
    EXPECT_TRUE(slider->HasSkinCursor());
    EXPECT_EQ(slider->cursor().shape(), Qt::BitmapCursor);

    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = Qt::Horizontal;
    option.minimum = 0;
    option.maximum = 100;
    option.sliderPosition = option.sliderValue = slider->value();
    const QRect groove = slider->style()->subControlRect(QStyle::CC_Slider, &option,
                                                         QStyle::SC_SliderGroove, slider);
    for (int y = 0; y < shown.height(); ++y) {
        if (groove.contains(MarkedSlider::kBlackColumn, y)) continue;
        EXPECT_EQ(shown.pixel(MarkedSlider::kBlackColumn, y), qRgb(0, 0, 0)) << y;
        EXPECT_EQ(shown.pixel(MarkedSlider::kNearBlackColumn, y),
                  qRgb(MarkedSlider::kNearBlackColumn, 2 * y, 101))
            << y;
    }
}

}  // namespace

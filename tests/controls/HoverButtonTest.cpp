// Hover button: its pixels in each state, its rounded shape and its hover
// tracking, on real widgets on the offscreen platform.
#include <gtest/gtest.h>
#include <QApplication>
#include <QEnterEvent>
#include <QThread>
#include <chrono>

#include "controls/DialogFont.h"
#include "controls/HoverButton.h"

namespace {

class HoverButtonTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dialog.setFont(controls::DialogFont());
        dialog.setAutoFillBackground(true);
        QPalette pal = dialog.palette();
        pal.setColor(QPalette::Window, QColor(255, 0, 0));
        dialog.setPalette(pal);
        dialog.resize(300, 120);
        button = new HoverButton(QStringLiteral("Rip"), &dialog);
        button->setGeometry(20, 20, 80, 30);
        other = new HoverButton(QStringLiteral("Exit"), &dialog);
        other->setGeometry(120, 20, 80, 30);
        dialog.show();
        dialog.activateWindow();
        QApplication::processEvents();
        other->setFocus();  // the first button would otherwise take the focus
        QApplication::processEvents();
    }

    QImage Grab() { return button->grab().toImage().convertToFormat(QImage::Format_RGB32); }
    QColor At(const QImage& img, int x, int y) { return QColor(img.pixel(x, y)); }

    // Moves the pointer onto the button and waits (bounded) for the hover look.
    void Enter(std::chrono::milliseconds wait = std::chrono::seconds(5)) {
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QApplication::sendEvent(button, &enter);
        const auto deadline = std::chrono::steady_clock::now() + wait;
        while (!button->IsHot() && std::chrono::steady_clock::now() < deadline) {
            QApplication::processEvents(QEventLoop::AllEvents, 5);
            QThread::msleep(1);
        }
    }
    void Leave() {
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(button, &leave);
    }
    bool Focus(QWidget* w) {
        w->setFocus();
        QApplication::processEvents();
        return w->hasFocus();
    }

    // Bounding box of the caption's dark pixels inside the face.
    QRect CaptionBox(const QImage& img) {
        QRect box;
        for (int y = 4; y < img.height() - 4; ++y)
            for (int x = 4; x < img.width() - 4; ++x)
                if (qGray(img.pixel(x, y)) < 110) box |= QRect(x, y, 1, 1);
        return box;
    }

    QWidget dialog;
    HoverButton* button = nullptr;
    HoverButton* other = nullptr;
};

TEST(HoverButtonSteps, StepColoursOfEachState) {
    for (bool hover : {false, true})
        for (bool highlighted : {false, true})
            EXPECT_EQ(HoverButton::StepColour(0, hover, highlighted), QColor(255, 255, 255));
    EXPECT_EQ(HoverButton::StepColour(63, false, false), QColor(234, 234, 243));
    EXPECT_EQ(HoverButton::StepColour(63, false, true), QColor(234, 234, 240));
    EXPECT_EQ(HoverButton::StepColour(63, true, false), QColor(240, 240, 243));
    EXPECT_EQ(HoverButton::StepColour(63, true, true), QColor(240, 240, 234));
    EXPECT_EQ(HoverButton::StepColour(30, false, false), QColor(245, 245, 249));
}

// For faces of 63 pixels or less the rows at and below the face's height take
// step 63, never a step past the prepared 64; an empty face does not divide by 0.
TEST(HoverButtonSteps, ShortFacesNeverPassLastStep) {
    for (int h = 0; h <= 63; ++h)
        for (int y = 0; y <= h + 4; ++y) {
            const int step = HoverButton::StepForRow(y, h);
            ASSERT_GE(step, 0);
            ASSERT_LE(step, 63) << "h=" << h << " y=" << y;
            if (y >= h) {
                ASSERT_EQ(step, 63);
            }
        }
    EXPECT_EQ(HoverButton::StepForRow(50, 100), 31);
}

TEST_F(HoverButtonTest, FaceRowsFollowTheGradient) {
    const QImage img = Grab();
    const int faceHeight = button->height() - 4;
    const int x = 10;  // clear of the caption
    for (int y = 2; y <= button->height() - 2; ++y)
        EXPECT_EQ(At(img, x, y),
                  HoverButton::StepColour(HoverButton::StepForRow(y, faceHeight), false, false))
            << "row " << y;
    // The row just below the face takes the darkest step.
    EXPECT_EQ(At(img, x, button->height() - 2), QColor(234, 234, 243));
    // White ring inside the black outline.
    EXPECT_EQ(At(img, 1, 10), QColor(255, 255, 255));
    EXPECT_EQ(At(img, 0, 10), QColor(0, 0, 0));
    EXPECT_EQ(At(img, 10, 0), QColor(0, 0, 0));
    EXPECT_EQ(At(img, 1, 1), QColor(0, 0, 0));
}

TEST_F(HoverButtonTest, RoundedCornersAreTransparent) {
    const QSize s = button->size();
    const QRegion mask = button->mask();
    for (const QPoint& corner : {QPoint(0, 0), QPoint(s.width() - 1, 0), QPoint(0, s.height() - 1),
                                 QPoint(s.width() - 1, s.height() - 1)}) {
        const int dx = corner.x() == 0 ? 1 : -1;
        const int dy = corner.y() == 0 ? 1 : -1;
        EXPECT_FALSE(mask.contains(corner));
        EXPECT_FALSE(mask.contains(corner + QPoint(dx, 0)));
        EXPECT_FALSE(mask.contains(corner + QPoint(0, dy)));
        EXPECT_TRUE(mask.contains(corner + QPoint(dx, dy)));
        EXPECT_TRUE(mask.contains(corner + QPoint(2 * dx, 0)));
    }
    // The dialog shows through the cut corners.
    const QImage whole = dialog.grab().toImage();
    const QPoint at = button->pos();
    EXPECT_EQ(QColor(whole.pixel(at)), QColor(255, 0, 0));
    EXPECT_EQ(QColor(whole.pixel(at + QPoint(2, 0))), QColor(0, 0, 0));
    // A button resized after construction is rounded at its new size.
    button->resize(60, 24);
    EXPECT_FALSE(button->mask().contains(QPoint(59, 23)));
    EXPECT_TRUE(button->mask().contains(QPoint(58, 22)));
}

TEST_F(HoverButtonTest, FrameColoursByState) {
    const int w = button->width();
    const int h = button->height();
    // Plain: no frame, the face's gradient reaches the edge columns.
    QImage img = Grab();
    EXPECT_EQ(At(img, 3, h / 2),
              HoverButton::StepColour(HoverButton::StepForRow(h / 2, h - 4), false, false));

    Enter();
    ASSERT_TRUE(button->IsHot());
    img = Grab();
    EXPECT_EQ(At(img, 3, h / 2), QColor(250, 196, 88));
    EXPECT_EQ(At(img, w - 3, h / 2), QColor(251, 202, 106));
    EXPECT_EQ(At(img, w / 2, 2), QColor(252, 210, 121));
    EXPECT_EQ(At(img, w / 2, h - 2), QColor(229, 151, 0));
    // The hover face uses the hover steps.
    EXPECT_EQ(At(img, 10, h - 4),
              HoverButton::StepColour(HoverButton::StepForRow(h - 4, h - 4), true, false));

    Leave();
    EXPECT_FALSE(button->IsHot());
    ASSERT_TRUE(Focus(button)) << "no keyboard focus on this platform";
    img = Grab();
    EXPECT_EQ(At(img, 3, h / 2), QColor(153, 198, 252));
    EXPECT_EQ(At(img, w - 2, h / 2), QColor(162, 189, 252));
    EXPECT_EQ(At(img, w / 2, 1), QColor(162, 201, 255));
    EXPECT_EQ(At(img, w / 2, h - 2), QColor(162, 201, 255));
    // Dotted focus rectangle on the face's left edge: every other pixel inverted.
    int inverted = 0;
    for (int y = 4; y < h - 4; ++y)
        inverted += At(img, 2, y) == QColor(255 - 153, 255 - 198, 255 - 252);
    EXPECT_GE(inverted, (h - 8) / 2 - 1);
    EXPECT_LE(inverted, (h - 8) / 2 + 1);
    // Focused buttons take the highlighted steps.
    EXPECT_EQ(At(img, 10, h - 4),
              HoverButton::StepColour(HoverButton::StepForRow(h - 4, h - 4), false, true));

    // Hover wins over focus: orange frame, no dots.
    Enter();
    img = Grab();
    EXPECT_EQ(At(img, 3, h / 2), QColor(250, 196, 88));
    for (int y = 4; y < h - 4; ++y) EXPECT_NE(At(img, 2, y), QColor(102, 57, 3));
    EXPECT_EQ(At(img, 10, h - 4),
              HoverButton::StepColour(HoverButton::StepForRow(h - 4, h - 4), true, true));
}

TEST_F(HoverButtonTest, PressedCaptionMovesOnePixel) {
    const QRect normal = CaptionBox(Grab());
    ASSERT_FALSE(normal.isEmpty());
    button->setDown(true);
    const QImage pressedImg = Grab();
    EXPECT_EQ(CaptionBox(pressedImg), normal.translated(1, 1));
    EXPECT_EQ(
        At(pressedImg, 10, button->height() - 4),
        HoverButton::StepColour(HoverButton::StepForRow(button->height() - 4, button->height() - 4),
                                false, true));
    button->setDown(false);
    // Centred on the face (within a pixel of rounding).
    const int faceCentre = button->width() / 2;
    EXPECT_LE(std::abs(normal.center().x() - faceCentre), 2);
}

TEST_F(HoverButtonTest, HoverFollowsEntryAndLeave) {
    EXPECT_FALSE(button->IsHot());
    Enter();
    EXPECT_TRUE(button->IsHot());
    Leave();
    EXPECT_FALSE(button->IsHot());
    Enter();
    EXPECT_TRUE(button->IsHot());
    // Disabling drops the hover look; a disabled button does not take it.
    button->setEnabled(false);
    EXPECT_FALSE(button->IsHot());
    Enter(std::chrono::milliseconds(100));
    EXPECT_FALSE(button->IsHot());
}

TEST_F(HoverButtonTest, DisabledCaptionIsEmbossedGrey) {
    const QRect enabledBox = CaptionBox(Grab());
    button->setEnabled(false);
    const QImage img = Grab();
    int black = 0, grey = 0;
    for (int y = enabledBox.top(); y <= enabledBox.bottom(); ++y)
        for (int x = enabledBox.left(); x <= enabledBox.right(); ++x) {
            const int g = qGray(img.pixel(x, y));
            black += g < 40;
            grey += g >= 40 && g < 200;
        }
    EXPECT_EQ(black, 0);
    EXPECT_GT(grey, 5);
}

TEST_F(HoverButtonTest, EmptyCaptionAndTinyButtonsPaint) {
    button->setText(QString());
    EXPECT_TRUE(CaptionBox(Grab()).isEmpty());
    for (const QSize s : {QSize(4, 4), QSize(10, 4), QSize(10, 5), QSize(1, 1)}) {
        button->resize(s);
        EXPECT_EQ(Grab().size(), s);
    }
}

}  // namespace

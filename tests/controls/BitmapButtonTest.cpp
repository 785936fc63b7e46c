// Bitmap button: which face each state shows, with the program's own pictures.
#include <gtest/gtest.h>
#include <QApplication>

#include "controls/BitmapButton.h"
#include "controls/SkinResources.h"

namespace {

using controls::LoadSkinBitmap;

TEST(BitmapButton, FaceRulesByState) {
    BitmapButton play;
    ASSERT_TRUE(
        play.LoadBitmaps(controls::kIdPlay, controls::kIdPlayBlue, controls::kIdPlayBlue, 0));
    EXPECT_EQ(play.ChooseFace(false, false, false), BitmapButton::kNormal);
    EXPECT_EQ(play.ChooseFace(true, false, false), BitmapButton::kPressed);
    EXPECT_EQ(play.ChooseFace(false, true, false), BitmapButton::kFocused);
    EXPECT_EQ(play.ChooseFace(true, true, false), BitmapButton::kPressed);
    EXPECT_EQ(play.ChooseFace(false, false, true), BitmapButton::kNormal);  // no disabled face

    BitmapButton rip;
    ASSERT_TRUE(rip.LoadBitmaps(controls::kIdRipper));
    for (int bits = 0; bits < 8; ++bits)
        EXPECT_EQ(rip.ChooseFace(bits & 1, bits & 2, bits & 4), BitmapButton::kNormal);

    BitmapButton all;
    for (int f = 0; f < 4; ++f)
        all.SetFace(BitmapButton::Face(f), QImage(4, 4, QImage::Format_RGB32));
    EXPECT_EQ(all.ChooseFace(false, true, true), BitmapButton::kFocused);
    EXPECT_EQ(all.ChooseFace(false, false, true), BitmapButton::kDisabled);
}

TEST(BitmapButton, PaintsChosenFaceUnscaledAtTopLeft) {
    QWidget window;
    window.resize(100, 100);
    auto* button = new BitmapButton(&window);
    button->setGeometry(10, 10, 30, 30);  // larger than the 23 x 21 face
    auto* other = new BitmapButton(&window);
    other->setGeometry(50, 10, 30, 30);
    ASSERT_TRUE(
        button->LoadBitmaps(controls::kIdStop, controls::kIdStopBlue, controls::kIdStopBlue, 0));
    window.show();
    window.activateWindow();
    other->setFocus();  // the first button would otherwise take the focus
    QApplication::processEvents();
    const QImage normal = LoadSkinBitmap(controls::kIdStop).convertToFormat(QImage::Format_RGB32);
    const QImage blue = LoadSkinBitmap(controls::kIdStopBlue).convertToFormat(QImage::Format_RGB32);

    auto shows = [&](const QImage& face) {
        const QImage img = button->grab().toImage().convertToFormat(QImage::Format_RGB32);
        return img.copy(0, 0, face.width(), face.height()) == face;
    };
    EXPECT_TRUE(shows(normal));
    button->setDown(true);
    EXPECT_TRUE(shows(blue));
    button->setDown(false);
    button->setFocus();
    QApplication::processEvents();
    if (button->hasFocus()) {
        EXPECT_TRUE(shows(blue));
        other->setFocus();
        QApplication::processEvents();
    }
    EXPECT_TRUE(shows(normal));
    button->setEnabled(false);
    EXPECT_TRUE(shows(normal));
}

TEST(BitmapButton, UnknownPictureIsReported) {
    BitmapButton button;
    EXPECT_FALSE(button.LoadBitmaps(9999));
    EXPECT_FALSE(button.LoadBitmaps(controls::kIdPlay, 9998));
    EXPECT_TRUE(button.LoadBitmaps(controls::kIdPlay));
    button.resize(30, 30);
    EXPECT_FALSE(button.grab().isNull());
}

}  // namespace

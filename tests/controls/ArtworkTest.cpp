// The program's pictures as built into its resources: every one at its size and
// depth, the cursor's hot spot, the icon's sizes, and the background laid out
// under the main window's controls.
#include <gtest/gtest.h>
#include <QFile>
#include <QImageReader>

#include "controls/SkinLayout.h"
#include "controls/SkinResources.h"

namespace {

quint32 Le(const QByteArray& b, int at, int bytes) {
    quint32 v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<quint8>(b[at + i]);
    return v;
}

QByteArray ReadResource(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct Picture {
    int id, width, height;
};
const Picture kBitmaps[] = {
    {136, 514, 336}, {142, 19, 19}, {144, 19, 19}, {145, 19, 19}, {147, 25, 25}, {149, 90, 27},
    {150, 90, 27},   {148, 90, 27}, {152, 23, 21}, {153, 22, 20}, {155, 23, 21}, {156, 22, 20},
    {157, 23, 21},   {158, 22, 20}, {159, 23, 21}, {160, 22, 20}, {161, 23, 21}, {168, 22, 20},
    {163, 23, 21},   {164, 22, 20}, {165, 23, 21}, {166, 22, 20}};

TEST(Artwork, EveryBitmapIsUncompressed24BitAtItsSize) {
    for (const Picture& pic : kBitmaps) {
        SCOPED_TRACE(pic.id);
        const QByteArray bmp = ReadResource(controls::SkinBitmapPath(pic.id));
        ASSERT_GE(bmp.size(), 54);
        EXPECT_EQ(bmp.left(2), QByteArray("BM"));
        EXPECT_EQ(Le(bmp, 18, 4), quint32(pic.width));
        EXPECT_EQ(Le(bmp, 22, 4), quint32(pic.height));
        EXPECT_EQ(Le(bmp, 28, 2), 24u);  // bits per pixel
        EXPECT_EQ(Le(bmp, 30, 4), 0u);   // uncompressed
        EXPECT_EQ(controls::LoadSkinBitmap(pic.id).size(), QSize(pic.width, pic.height));
    }
}

TEST(Artwork, CursorIs8BitWithTipOnHotSpot) {
    const QByteArray cur = ReadResource(QStringLiteral(":/skin/167.cur"));
    ASSERT_GE(cur.size(), 22 + 40);
    EXPECT_EQ(Le(cur, 2, 2), 2u);  // cursor
    EXPECT_EQ(Le(cur, 4, 2), 1u);
    EXPECT_EQ(static_cast<quint8>(cur[6]), 32);
    EXPECT_EQ(static_cast<quint8>(cur[7]), 32);
    const quint32 offset = Le(cur, 6 + 12, 4);
    EXPECT_EQ(Le(cur, offset + 14, 2), 8u);  // bits per pixel
    EXPECT_EQ(controls::SkinCursorHotSpot(), QPoint(7, 7));

    bool ok = false;
    const QCursor cursor = controls::SkinCursor(&ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(cursor.hotSpot(), QPoint(7, 7));
    const QImage image = cursor.pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(image.size(), QSize(32, 32));
    EXPECT_EQ(qAlpha(image.pixel(7, 7)), 255);  // the tip
    EXPECT_EQ(qAlpha(image.pixel(6, 6)), 0);
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
    // Orange inside the black outline.
    const QColor inside = image.pixelColor(9, 14);
    EXPECT_GT(inside.red(), 200);
    EXPECT_GT(inside.red(), inside.green() + 40);
    EXPECT_LT(inside.blue(), 100);
}

TEST(Artwork, IconHas8Bit16And32Images) {
    const QByteArray ico = ReadResource(QStringLiteral(":/skin/128.ico"));
    ASSERT_GE(ico.size(), 6 + 32);
    EXPECT_EQ(Le(ico, 2, 2), 1u);
    ASSERT_EQ(Le(ico, 4, 2), 2u);
    for (int i = 0; i < 2; ++i) {
        const int entry = 6 + 16 * i;
        EXPECT_EQ(static_cast<quint8>(ico[entry]), i == 0 ? 16 : 32);
        EXPECT_EQ(Le(ico, entry + 6, 2), 8u);
        EXPECT_EQ(Le(ico, Le(ico, entry + 12, 4) + 14, 2), 8u);
    }
    const QIcon icon = controls::AppIcon();
    EXPECT_EQ(icon.availableSizes().size(), 2);
    // Sky blue at the corner, deep blue notes.
    const QImage big = icon.pixmap(32, 32).toImage();
    const QColor corner = big.pixelColor(4, 4);
    EXPECT_GT(corner.blue(), corner.red() + 40);
    EXPECT_GT(corner.blue(), 200);
    const QColor head = big.pixelColor(10, 24);
    EXPECT_LT(head.red(), 60);
    EXPECT_GT(head.blue(), 120);
}

bool IsWhite(QRgb c) {
    return qRed(c) > 245 && qGreen(c) > 245 && qBlue(c) > 245;
}

// The background's white panel surrounds the track list and the tab column lies
// under RIP, CVT and OPT, for this machine's dialog font and caption.
TEST(Artwork, BackgroundLinesUpWithTheMainWindow) {
    const controls::WindowMetrics m = controls::CurrentWindowMetrics();
    const QImage bg = controls::LoadSkinBitmap(controls::kIdBackground);
    ASSERT_EQ(bg.size(), QSize(514, 336));
    const QRect list = m.ToPicture(controls::kTrackList);
    for (const QPoint& p :
         {list.topLeft(), list.topRight(), list.bottomLeft(), list.bottomRight(), list.center(),
          list.topLeft() - QPoint(2, 2), list.bottomRight() + QPoint(2, 2)})
        EXPECT_TRUE(IsWhite(bg.pixel(p))) << p.x() << "," << p.y();
    EXPECT_FALSE(IsWhite(bg.pixel(list.left() - 12, list.center().y())));
    EXPECT_FALSE(IsWhite(bg.pixel(list.center().x(), list.bottom() + 12)));

    for (const QRect& du :
         {controls::kRipButton, controls::kConvertButton, controls::kOptionButton}) {
        const QRect r = m.ToPicture(du);
        const QColor c = bg.pixelColor(r.left() + 6, r.center().y());
        EXPECT_GT(c.blue(), c.red() + 15) << "blue-grey tab under the button";
    }
    // Green name in the dark title tab at the top centre.
    int green = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 200; x < 314; ++x) {
            const QColor c = bg.pixelColor(x, y);
            green += c.green() > 180 && c.red() < 160 && c.blue() < 140;
        }
    EXPECT_GT(green, 40);
}

TEST(Artwork, FacesShowTheirSymbols) {
    auto count = [](int id, auto pred) {
        const QImage img = controls::LoadSkinBitmap(id);
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) n += pred(img.pixelColor(x, y));
        return n;
    };
    auto orange = [](const QColor& c) {
        return c.red() > 200 && c.green() > 90 && c.green() < 190 && c.blue() < 80;
    };
    auto black = [](const QColor& c) { return c.red() < 40 && c.green() < 40 && c.blue() < 40; };
    auto blue = [](const QColor& c) { return c.blue() > 180 && c.red() < 90; };
    auto white = [](const QColor& c) { return c.red() > 240 && c.green() > 240 && c.blue() > 240; };
    for (int id : {142, 144, 145}) EXPECT_GT(count(id, orange), 8) << id;
    for (int id : {152, 155, 157, 159, 161, 163, 165}) {
        EXPECT_GT(count(id, black), 20) << id;
        EXPECT_EQ(count(id, blue), 0) << id;
    }
    for (int id : {153, 156, 158, 160, 168, 164, 166}) EXPECT_GT(count(id, blue), 20) << id;
    for (int id : {148, 149, 150}) EXPECT_GT(count(id, white), 40) << id;
}

}  // namespace

// Percent bar: the PBX_* protocol and the pixels it paints, on a real widget on
// the offscreen platform. Messages go through the platform layer (SendMessage /
// PostMessage) exactly as the rip engine and the convert dialog send them.
#include <gtest/gtest.h>
#include <QApplication>
#include <QPainter>
#include <QThread>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "controls/DialogFont.h"
#include "controls/PercentBar.h"
#include "platform/WindowMessages.h"

namespace {

const QColor kFill(153, 198, 252);

class PercentBarTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dialog.setFont(controls::DialogFont());
        dialog.resize(400, 80);
        bar = new PercentBar(&dialog);
        bar->setGeometry(10, 10, 203, 26);
        ASSERT_TRUE(bar->Initialize());
        dialog.show();
        QApplication::processEvents();
        handle = platform::WindowHandleOf(bar);
    }

    std::intptr_t Send(int message, platform::WParam w = 0) {
        return platform::SendMessage(handle, message, w);
    }
    QImage Grab() { return bar->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    // Inner rectangle (right and bottom exclusive) and its fill width basis.
    int L() const { return 2; }
    int T() const { return 2; }
    int R() const { return bar->width() - 2; }
    int B() const { return bar->height() - 2; }
    int W() const { return R() - L() + 1; }

    // The column where the fill colour ends, read on the top inner row (above the text).
    int FillEnd(const QImage& img) const {
        int x = L();
        while (x < img.width() && QColor(img.pixel(x, T())) == kFill) ++x;
        return x;
    }

    // True when the dark (text) pixels of the inner area are those of `text` drawn
    // black at the bar's centred origin.
    bool ShowsText(const QImage& img, const QString& text) const {
        const QFontMetrics fm(bar->font());
        const int x = (R() - fm.horizontalAdvance(text) - L() + 1) / 2;
        const int y = (B() - fm.height() - T() + 1) / 2 + 1;
        QImage expected(img.size(), QImage::Format_RGB32);
        expected.fill(Qt::white);
        QPainter p(&expected);
        p.setFont(bar->font());
        p.setPen(Qt::black);
        p.drawText(x, y + fm.ascent(), text);
        p.end();
        int mismatches = 0, dark = 0;
        for (int yy = T(); yy < B(); ++yy)
            for (int xx = L(); xx < R(); ++xx) {
                // Solid ink must be dark, clear background must not be; the
                // antialiased edge pixels in between depend on the background.
                const int want = qGray(expected.pixel(xx, yy));
                const int have = qGray(img.pixel(xx, yy));
                dark += want < 60;
                mismatches += (want < 60 && have >= 130) || (want >= 230 && have < 60);
            }
        return dark > 0 && mismatches <= dark / 20;
    }

    QWidget dialog;
    PercentBar* bar = nullptr;
    platform::WindowHandle handle = 0;
};

TEST_F(PercentBarTest, FreshBarShowsZeroOnWhiteWithFrame) {
    EXPECT_EQ(Send(core::PBX_GETRANGE), 100);
    EXPECT_EQ(Send(core::PBX_GETPOS), 0);
    const QImage img = Grab();
    EXPECT_EQ(FillEnd(img), L());
    EXPECT_TRUE(ShowsText(img, QStringLiteral("0.0%")));
    EXPECT_FALSE(ShowsText(img, QStringLiteral("0%")));
    // Sunken frame: grey outer top-left, black inner, light grey bottom-right, white
    // outermost right column and bottom row.
    EXPECT_EQ(QColor(img.pixel(0, 5)), QColor(128, 128, 128));
    EXPECT_EQ(QColor(img.pixel(5, 0)), QColor(128, 128, 128));
    EXPECT_EQ(QColor(img.pixel(1, 5)), QColor(0, 0, 0));
    EXPECT_EQ(QColor(img.pixel(5, 1)), QColor(0, 0, 0));
    EXPECT_EQ(QColor(img.pixel(5, bar->height() - 2)), QColor(192, 192, 192));
    EXPECT_EQ(QColor(img.pixel(bar->width() - 2, 5)), QColor(192, 192, 192));
    EXPECT_EQ(QColor(img.pixel(bar->width() - 1, 5)), QColor(255, 255, 255));
    EXPECT_EQ(QColor(img.pixel(5, bar->height() - 1)), QColor(255, 255, 255));
}

TEST_F(PercentBarTest, DeltaFillsTruncatedShareOfInnerWidth) {
    Send(core::PBX_SETRANGE, 100);
    Send(core::PBX_DELTAPOS, 40);
    EXPECT_EQ(Send(core::PBX_GETPOS), 40);
    QImage img = Grab();
    EXPECT_EQ(FillEnd(img) - L(), static_cast<int>(W() * 0.4));
    EXPECT_TRUE(ShowsText(img, QStringLiteral("40.0%")));

    // 37.5 % of a 1000 range: one decimal.
    Send(core::PBX_SETRANGE, 1000);
    Send(core::PBX_SETPOS, 375);
    img = Grab();
    EXPECT_TRUE(ShowsText(img, QStringLiteral("37.5%")));
    EXPECT_EQ(FillEnd(img) - L(), static_cast<int>(W() * 0.375));
}

TEST_F(PercentBarTest, DeltaPastRangeStopsAtFullAndCoversLightColumn) {
    Send(core::PBX_SETRANGE, 100);
    Send(core::PBX_DELTAPOS, 60);
    Send(core::PBX_DELTAPOS, 60);
    EXPECT_EQ(Send(core::PBX_GETPOS), 100);
    const QImage img = Grab();
    EXPECT_TRUE(ShowsText(img, QStringLiteral("100.0%")));
    EXPECT_EQ(FillEnd(img), R() + 1);  // one column past the inner rectangle
    EXPECT_EQ(QColor(img.pixel(bar->width() - 1, T())), QColor(255, 255, 255));
}

TEST_F(PercentBarTest, DeltaThatWrapsPast32BitsSaturates) {
    Send(core::PBX_SETRANGE, 100);
    Send(core::PBX_SETPOS, 0xFFFFFFF0u);
    Send(core::PBX_DELTAPOS, 0x20);
    EXPECT_EQ(Send(core::PBX_GETPOS), 100);
}

TEST_F(PercentBarTest, SetPosPastRangeIsNotClamped) {
    Send(core::PBX_SETRANGE, 100);
    Send(core::PBX_SETPOS, 150);
    EXPECT_EQ(Send(core::PBX_GETPOS), 150);
    const QImage img = Grab();
    EXPECT_TRUE(ShowsText(img, QStringLiteral("150.0%")));
    EXPECT_EQ(FillEnd(img), bar->width());  // to the control's right edge
    // Far past the range the fill still stops at the edge and nothing breaks.
    Send(core::PBX_SETRANGE, 1);
    Send(core::PBX_SETPOS, 0xFFFFFFFFu);
    EXPECT_EQ(FillEnd(Grab()), bar->width());
}

TEST_F(PercentBarTest, SetRangeClampsPositionAndAlwaysRepaints) {
    Send(core::PBX_SETRANGE, 100);
    Send(core::PBX_SETPOS, 80);
    int paints = bar->PaintCount();
    Send(core::PBX_SETRANGE, 50);
    EXPECT_EQ(Send(core::PBX_GETPOS), 50);
    EXPECT_GT(bar->PaintCount(), paints);
    paints = bar->PaintCount();
    Send(core::PBX_SETRANGE, 50);  // nothing visible changes
    EXPECT_GT(bar->PaintCount(), paints);
    paints = bar->PaintCount();
    Send(core::PBX_GETRANGE);
    Send(core::PBX_GETPOS);
    EXPECT_EQ(bar->PaintCount(), paints);
}

TEST_F(PercentBarTest, ChangeBelowOnePerMilleDoesNotRepaint) {
    Send(core::PBX_SETRANGE, 100'000'000);
    const int paints = bar->PaintCount();
    Send(core::PBX_SETPOS, 1);
    Send(core::PBX_DELTAPOS, 99'998);
    EXPECT_EQ(bar->PaintCount(), paints);
    EXPECT_EQ(Send(core::PBX_GETPOS), 99'999);
    Send(core::PBX_DELTAPOS, 1);  // reaches 1 per mille
    EXPECT_EQ(bar->PaintCount(), paints + 1);
}

// A 700 MB track counted in bytes, progress in 27-frame blocks: every per-mille
// step repaints once, the last one included, and the product never overflows.
TEST_F(PercentBarTest, HugeRangeRepaintsAtEveryPerMilleStep) {
    const std::uint32_t range = 700'000'000u;
    Send(core::PBX_SETRANGE, range);
    const int paints = bar->PaintCount();
    const std::uint32_t block = 27 * 2352;
    for (std::uint64_t done = 0; done < range; done += block) Send(core::PBX_DELTAPOS, block);
    EXPECT_EQ(Send(core::PBX_GETPOS), range);
    EXPECT_EQ(bar->PaintCount() - paints, 1000);
    EXPECT_EQ(PercentBar::PerMille(4'000'000'000u, 4'000'000'000u), 1000u);
    EXPECT_EQ(PercentBar::PerMille(3'999'999'999u, 4'000'000'000u), 999u);
    EXPECT_TRUE(ShowsText(Grab(), QStringLiteral("100.0%")));
}

// Ranges past 2^31 bytes still give a positive percentage.
TEST_F(PercentBarTest, RangePastTwoGigabytesShowsPositivePercentage) {
    Send(core::PBX_SETRANGE, 3'000'000'000u);
    Send(core::PBX_SETPOS, 1'500'000'000u);
    const QImage img = Grab();
    EXPECT_TRUE(ShowsText(img, QStringLiteral("50.0%")));
    EXPECT_EQ(FillEnd(img) - L(), static_cast<int>(W() * 0.5));
}

TEST_F(PercentBarTest, ZeroRangeShowsZeroAndKeepsWorking) {
    Send(core::PBX_SETRANGE, 0);
    Send(core::PBX_DELTAPOS, 5);
    EXPECT_EQ(Send(core::PBX_GETPOS), 0);
    Send(core::PBX_SETPOS, 7);
    EXPECT_EQ(Send(core::PBX_GETPOS), 7);
    const QImage img = Grab();
    EXPECT_EQ(FillEnd(img), L());
    EXPECT_TRUE(ShowsText(img, QStringLiteral("0.0%")));
    Send(core::PBX_SETRANGE, 100);
    EXPECT_EQ(Send(core::PBX_GETPOS), 7);
}

TEST(PercentBarUninitialised, IgnoresMessagesUntilInitialised) {
    PercentBar bar;
    bar.resize(100, 20);
    const platform::WindowHandle h = platform::WindowHandleOf(&bar);
    EXPECT_EQ(platform::SendMessage(h, core::PBX_SETRANGE, 10), 0);
    EXPECT_EQ(platform::SendMessage(h, core::PBX_GETRANGE), 0);
    ASSERT_TRUE(bar.Initialize());
    EXPECT_FALSE(bar.Initialize());
    EXPECT_EQ(platform::SendMessage(h, core::PBX_GETRANGE), 100);
}

// Progress posted by a worker thread arrives in the order it was posted, and a
// GET sent from a worker blocks until the bar's thread answers it.
TEST_F(PercentBarTest, ProgressFromWorkerThreadArrivesInOrder) {
    struct Recorder : QObject {
        std::vector<std::uint32_t> seen;
        bool eventFilter(QObject*, QEvent* e) override {
            if (platform::IsWindowMessage(e) && e->type() == core::PBX_SETPOS)
                seen.push_back(static_cast<std::uint32_t>(
                    static_cast<platform::WindowMessageEvent*>(e)->wParam));
            return false;
        }
    } recorder;
    bar->installEventFilter(&recorder);
    Send(core::PBX_SETRANGE, 5000);

    const int kCount = 3000;
    std::atomic<bool> done{false};
    std::atomic<std::intptr_t> answered{-1};
    std::thread worker([&] {
        for (int i = 1; i <= kCount; ++i) platform::PostMessage(handle, core::PBX_SETPOS, i);
        answered = platform::SendMessage(handle, core::PBX_GETPOS);
        done = true;
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done && std::chrono::steady_clock::now() < deadline)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    worker.join();
    QApplication::processEvents();
    ASSERT_TRUE(done);
    ASSERT_EQ(recorder.seen.size(), static_cast<size_t>(kCount));
    for (int i = 0; i < kCount; ++i) ASSERT_EQ(recorder.seen[i], static_cast<std::uint32_t>(i + 1));
    EXPECT_EQ(answered.load(), kCount);
    EXPECT_EQ(Send(core::PBX_GETPOS), kCount);
    bar->removeEventFilter(&recorder);
}

}  // namespace

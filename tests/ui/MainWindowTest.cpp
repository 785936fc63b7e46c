// The main window on the offscreen platform, driven by its control ids.
//
// Drives: the CD access library lists only what a test adds (the demo disc image, a
// simulated drive, or nothing for a machine without a drive). Sound: the player
// tests' ALSA file sink (PlayerTestSupport.h), so playback needs no sound card.
// Message boxes and the desktop's URL handler are answered by the tests.
#include "ui/MainWindow.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QSet>
#include <QSlider>
#include <QStyleOptionSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "PlayerTestSupport.h"
#include "cdaccess/Drive.h"
#include "cdaccess/SimulatedDrive.h"
#include "controls/BitmapButton.h"
#include "controls/SkinLayout.h"
#include "controls/SkinResources.h"
#include "controls/SkinSlider.h"
#include "core/Settings.h"
#include "platform/Paths.h"
#include "ui/MessageBox.h"
#include "ui/RipDialog.h"
#include "ui/WindowStartup.h"

namespace {

using ui::MainWindow;

// Records the URLs the window hands to the desktop.
class UrlRecorder : public QObject {
    Q_OBJECT
  public:
    QList<QUrl> opened;
  public slots:
    void open(const QUrl& url) { opened.append(url); }
};

template <typename T>
T* Control(const QWidget& window, int id) {
    return window.findChild<T*>(QString::number(id));
}

QImage Rgb(const QImage& image) {
    return image.convertToFormat(QImage::Format_RGB32);
}

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        cdaccess::ClearAddedDrives();
        cdaccess::SetSystemDrivesListed(false);
        ui::SetMessageBoxAnswerer([this](const ui::MessageBoxRequest& r) {
            boxes_.push_back(r);
            return QMessageBox::Ok;
        });
    }
    void TearDown() override {
        ui::SetMessageBoxAnswerer({});
        cdaccess::ClearAddedDrives();
    }
    // Presses and releases the left button at a client point of the window, through
    // the window system, so the press goes to whatever lies under the point.
    static void ClickThroughWindow(MainWindow& w, QPoint at, Qt::MouseButton button) {
        QTest::mouseClick(w.windowHandle(), button, {}, at);
        QApplication::processEvents();
    }

    std::vector<ui::MessageBoxRequest> boxes_;
};

TEST_F(MainWindowTest, OpensTheDemoDiscWithEveryRowCheckedAndRunsTheListCommands) {
    cdaccess::AddImage(std::string(TRACKMILL_DEMO_DIR) + "/demo.cue");
    MainWindow w;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    ASSERT_NE(w.DriveHandle(), 0u);
    EXPECT_TRUE(w.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Trackmill"));
    EXPECT_FALSE(w.windowIcon().isNull());
    EXPECT_EQ(w.size(), controls::CurrentWindowMetrics().ClientSize());

    // The rows are the disc's tracks as its generator wrote them, every one checked.
    auto* list = Control<QTreeWidget>(w, MainWindow::kTrackList);
    ASSERT_NE(list, nullptr);
    std::ifstream expected(std::string(TRACKMILL_DEMO_DIR) + "/demo.expected");
    std::string line;
    int rows = 0;
    while (std::getline(expected, line)) {
        std::istringstream fields(line);
        int number = 0, start = 0, frames = 0, data = 0;
        fields >> number >> start >> frames >> data;
        const QTreeWidgetItem* item = list->topLevelItem(rows++);
        ASSERT_NE(item, nullptr);
        const int seconds = frames / 75;
        EXPECT_EQ(item->text(0), QString::number(rows));
        EXPECT_EQ(item->text(1),
                  data ? QStringLiteral("Data Track") : QStringLiteral("Track %1").arg(number));
        EXPECT_EQ(item->text(2), QString::asprintf("%02d:%02d", seconds / 60, seconds % 60));
        EXPECT_EQ(item->checkState(0), Qt::Checked);
    }
    EXPECT_EQ(rows, 7);
    EXPECT_EQ(list->topLevelItemCount(), rows);
    const QStringList headers = {"No.", "Track", "Time"};
    const int widths[3] = {85, 140, 140};
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(list->headerItem()->text(c), headers[c]);
        EXPECT_EQ(list->header()->sectionSize(c), widths[c]);
    }
    EXPECT_EQ(list->palette().color(QPalette::Base), QColor(247, 243, 247));
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);

    // A right click on the list opens the popup menu with its ten entries in order.
    const QPoint onRow = list->visualItemRect(list->topLevelItem(1)).center();
    ClickThroughWindow(w, list->viewport()->mapTo(&w, onRow), Qt::RightButton);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_EQ(menu, w.PopupMenu());
    QStringList entries;
    for (const QAction* a : menu->actions())
        entries << (a->isSeparator() ? QStringLiteral("-") : a->objectName() + " " + a->text());
    EXPECT_EQ(entries, QStringList({"32780 CD to MP3", "32781 CD to Wav", "32784 CD to FLAC", "-",
                                    "32778 Select All", "32782 Select None", "32779 Invert select",
                                    "-", "32783 Play the music", "32785 Disc names..."}));
    menu->close();

    auto trigger = [&](int id) { Control<QAction>(*w.PopupMenu(), id)->trigger(); };
    auto checks = [&] {
        QString states;
        for (int r = 0; r < list->topLevelItemCount(); ++r)
            states += w.IsRowChecked(r) ? QLatin1Char('x') : QLatin1Char('.');
        return states;
    };
    list->topLevelItem(2)->setCheckState(0, Qt::Unchecked);
    list->topLevelItem(5)->setCheckState(0, Qt::Unchecked);
    trigger(MainWindow::kMenuInvertSelect);
    EXPECT_EQ(checks(), QStringLiteral("..x..x."));
    trigger(MainWindow::kMenuInvertSelect);
    EXPECT_EQ(checks(), QStringLiteral("xx.xx.x"));
    trigger(MainWindow::kMenuSelectNone);
    EXPECT_EQ(checks(), QStringLiteral("......."));
    trigger(MainWindow::kMenuSelectAll);
    EXPECT_EQ(checks(), QStringLiteral("xxxxxxx"));

    // Space toggles the check box of the row it is on, whichever column was clicked.
    const QPoint onName = list->visualItemRect(list->topLevelItem(3)).center();
    ASSERT_EQ(list->columnAt(onName.x()), 1);
    ClickThroughWindow(w, list->viewport()->mapTo(&w, onName), Qt::LeftButton);
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_EQ(checks(), QStringLiteral("xxx.xxx"));
    QTest::keyClick(list, Qt::Key_Space);
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_EQ(checks(), QStringLiteral("xxxx.xx"));
    trigger(MainWindow::kMenuSelectAll);

    // The skin cursor over every button and the slider, the arrow over the list.
    bool loaded = false;
    const QPixmap skinCursor = controls::SkinCursor(&loaded).pixmap();
    ASSERT_TRUE(loaded);
    const auto buttons = w.findChildren<BitmapButton*>();
    EXPECT_EQ(buttons.size(), 14);
    for (const QWidget* over : {static_cast<const QWidget*>(Control<SkinSlider>(w, 1007)),
                                static_cast<const QWidget*>(buttons.front()),
                                static_cast<const QWidget*>(buttons.back())}) {
        EXPECT_EQ(over->cursor().shape(), Qt::BitmapCursor) << over->objectName().toStdString();
        EXPECT_EQ(over->cursor().pixmap().toImage(), skinCursor.toImage());
    }
    EXPECT_EQ(list->viewport()->cursor().shape(), Qt::ArrowCursor);

    // Help opens the help page with the desktop's handler, the web-page button its
    // "About" section.
    UrlRecorder urls;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &urls, "open");
    QTest::mouseClick(Control<QAbstractButton>(w, MainWindow::kHelp), Qt::LeftButton);
    QTest::mouseClick(Control<QAbstractButton>(w, MainWindow::kWebPage), Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    ASSERT_EQ(urls.opened.size(), 2);
    EXPECT_EQ(urls.opened[0], QUrl::fromLocalFile(QString::fromStdString(core::HelpFilePath())));
    EXPECT_EQ(urls.opened[1].fragment(), QStringLiteral("about"));
    EXPECT_EQ(urls.opened[1].adjusted(QUrl::RemoveFragment), urls.opened[0]);
    EXPECT_TRUE(boxes_.empty());

    // Escape ends the window, as the close button does.
    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_FALSE(w.isVisible());
}

TEST_F(MainWindowTest, WithoutADriveTheListIsEmptyAndRipCommandsExplain) {
    MainWindow w;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    EXPECT_EQ(w.DriveHandle(), 0u);
    EXPECT_EQ(w.RowCount(), 0);

    QTest::mouseClick(Control<QAbstractButton>(w, MainWindow::kRip), Qt::LeftButton);
    Control<QAction>(*w.PopupMenu(), MainWindow::kMenuCdToWav)->trigger();
    ASSERT_EQ(boxes_.size(), 2u);
    for (const auto& box : boxes_) {
        EXPECT_EQ(box.text, QStringLiteral("    Inistall Rip Libarary failure !      "));
        EXPECT_EQ(box.caption, QStringLiteral("Error"));
        EXPECT_EQ(box.icon, QMessageBox::Information);
    }

    // The player's commands do nothing on an empty list.
    QTest::mouseClick(Control<QAbstractButton>(w, MainWindow::kPlay), Qt::LeftButton);
    QTest::mouseClick(Control<QAbstractButton>(w, MainWindow::kNext), Qt::LeftButton);
    EXPECT_FALSE(w.Player().IsPlaying());

    // The close button closes the window through the event queue.
    QTest::mouseClick(Control<QAbstractButton>(w, MainWindow::kClose), Qt::LeftButton);
    EXPECT_TRUE(w.isVisible());
    QApplication::processEvents();
    EXPECT_FALSE(w.isVisible());
}

// RIP opens the rip dialog with MP3 and waits for a click; "CD to Wav" opens it with
// WAV and rips every checked row by itself into the "output" folder. The modal
// dialogs are answered from the event loop they run.
TEST_F(MainWindowTest, RipCommandsOpenTheRipDialog) {
    auto drive =
        std::make_shared<cdaccess::SimulatedDrive>(cdaccess::SimulatedDrive::MakeTestAudio(200, 3));
    drive->SetAudioTracks({120, 80});
    cdaccess::AddDrive(drive);
    // The program lives in a folder of the test's, with its own settings file.
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString() + "/out/";
    std::filesystem::create_directories(dir.path().toStdString() + "/app");
    std::filesystem::create_directories(folder);
    std::ofstream(dir.path().toStdString() + "/app/trackmill.ini")
        << "[CONFIG]\noutput=" << folder << "\n";
    platform::SetExecutablePathForTesting(dir.path().toStdString() + "/app/trackmill");
    struct Restore {
        ~Restore() { platform::SetExecutablePathForTesting(""); }
    } restore;
    MainWindow w;
    w.show();
    ASSERT_NE(w.DriveHandle(), 0u);

    struct Seen {
        bool mp3 = false, wav = false, flac = false, ran = false;
        QString status;
    } seen;
    int ticks = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* d = qobject_cast<ui::RipDialog*>(QApplication::activeModalWidget());
        if (!d) return;
        seen.mp3 = Control<QAbstractButton>(*d, ui::RipDialog::kIdMp3)->isChecked();
        seen.wav = Control<QAbstractButton>(*d, ui::RipDialog::kIdWav)->isChecked();
        seen.flac = Control<QAbstractButton>(*d, ui::RipDialog::kIdFlac)->isChecked();
        seen.status = Control<QLabel>(*d, ui::RipDialog::kIdStatus)->text();
        seen.ran = seen.ran || d->Running() || seen.status != "Track :";
        if ((seen.ran && !d->Running() && !d->TrackPending()) || ++ticks == 50) d->close();
    });
    poll.start(10);
    QTest::mouseClick(Control<QAbstractButton>(w, MainWindow::kRip), Qt::LeftButton);
    EXPECT_TRUE(seen.mp3);
    EXPECT_FALSE(seen.ran);  // no automatic start

    seen = Seen{};
    ticks = -3000;  // bounded: closed after 30 s at most
    Control<QAction>(*w.PopupMenu(), MainWindow::kMenuCdToWav)->trigger();
    poll.stop();
    EXPECT_TRUE(seen.wav);
    EXPECT_EQ(seen.status, "Finished ok !");
    EXPECT_EQ(std::filesystem::file_size(folder + "Track 1.wav"), 44u + 120 * kFrameBytes);
    EXPECT_EQ(std::filesystem::file_size(folder + "Track 2.wav"), 44u + 80 * kFrameBytes);

    // "CD to FLAC" does the same with FLAC.
    seen = Seen{};
    ticks = -3000;
    poll.start(10);
    Control<QAction>(*w.PopupMenu(), MainWindow::kMenuCdToFlac)->trigger();
    poll.stop();
    EXPECT_TRUE(seen.flac && !seen.wav && !seen.mp3);
    EXPECT_EQ(seen.status, "Finished ok !");
    EXPECT_TRUE(std::filesystem::exists(folder + "Track 1.flac"));
    EXPECT_TRUE(std::filesystem::exists(folder + "Track 2.flac"));
    EXPECT_TRUE(boxes_.empty());
}

// The dialogs open centred over the main window wherever it was moved; a second
// instance's window opens a step down and right of the first's, not over it.
TEST_F(MainWindowTest, DialogsOpenOverTheMainWindowAndInstancesCascade) {
    cdaccess::AddDrive(
        std::make_shared<cdaccess::SimulatedDrive>(cdaccess::SimulatedDrive::MakeTestAudio(75, 3)));
    MainWindow w;
    w.move(30, 40);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    for (int id : {MainWindow::kRip, MainWindow::kConvert, MainWindow::kOptions}) {
        QRect opened;
        QTimer::singleShot(50, [&] {
            if (QWidget* d = QApplication::activeModalWidget()) {
                opened = d->frameGeometry();
                d->close();
            }
        });
        QTest::mouseClick(Control<QAbstractButton>(w, id), Qt::LeftButton);
        EXPECT_LE((opened.center() - w.frameGeometry().center()).manhattanLength(), 8)
            << id << ": " << opened.x() << "," << opened.y();
    }

    QTemporaryDir locks;
    const QRect screen(0, 0, 1280, 1024);
    auto first = std::make_unique<ui::WindowSlot>(locks.path());
    const ui::WindowSlot second(locks.path());
    EXPECT_EQ(first->Index(), 0);
    EXPECT_EQ(second.Index(), 1);
    const QPoint a = ui::CascadedWindowPosition(w.size(), screen, first->Index());
    const QPoint b = ui::CascadedWindowPosition(w.size(), screen, second.Index());
    EXPECT_EQ(QRect(a, w.size()).center(), screen.center());
    EXPECT_GT(b.x(), a.x());
    EXPECT_GT(b.y(), a.y());
    first.reset();  // an ended instance's place is free again
    EXPECT_EQ(ui::WindowSlot(locks.path()).Index(), 0);
}

// A full disc of 99 tracks: every one is listed and checked.
TEST_F(MainWindowTest, ListsEveryTrackOfAFullDisc) {
    auto sim = std::make_shared<cdaccess::SimulatedDrive>(
        cdaccess::SimulatedDrive::MakeTestAudio(99 * 10, 3));
    sim->SetAudioTracks(std::vector<std::uint32_t>(99, 10));
    cdaccess::AddDrive(sim);
    MainWindow w;
    ASSERT_EQ(w.RowCount(), 99);
    EXPECT_EQ(w.RowTrackText(98), "Track 99");
    EXPECT_TRUE(w.IsRowChecked(98));
    EXPECT_EQ(w.TrackAt(98).entry.startLba, 98u * 10);
    EXPECT_EQ(w.TrackAt(98).number, 99);
}

// The pixels of the window's skin: the background picture stretched over any client
// size, the transport faces by state, and the slider showing the skin around its
// channel and thumb.
TEST_F(MainWindowTest, PaintsTheStretchedSkinTheButtonFacesAndTheSliderOverTheSkin) {
    MainWindow w;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    const QImage picture = Rgb(controls::LoadSkinBitmap(controls::kIdBackground));
    ASSERT_FALSE(picture.isNull());

    // The slider (captured at its first paint): the skin's pixels around the channel
    // and thumb, not a flat fill.
    auto* slider = Control<SkinSlider>(w, MainWindow::kSeekSlider);
    const QImage shown = Rgb(slider->grab().toImage());
    const QImage skin = Rgb(w.SkinUnder(slider->geometry()));
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = Qt::Horizontal;
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = slider->sliderPosition();
    option.sliderValue = slider->value();
    option.tickPosition = QSlider::NoTicks;
    const QRect groove = slider->style()->subControlRect(QStyle::CC_Slider, &option,
                                                         QStyle::SC_SliderGroove, slider);
    const QRect handle = slider->style()->subControlRect(QStyle::CC_Slider, &option,
                                                         QStyle::SC_SliderHandle, slider);
    QSet<QRgb> colours;
    int outside = 0;
    for (int y = 0; y < shown.height(); ++y) {
        for (int x = 0; x < shown.width(); ++x) {
            if (groove.contains(x, y) || handle.contains(x, y)) continue;
            ++outside;
            ASSERT_EQ(shown.pixel(x, y), skin.pixel(x, y)) << x << "," << y;
            colours.insert(shown.pixel(x, y));
        }
    }
    EXPECT_GT(outside, 0);
    EXPECT_GT(colours.size(), 1);

    for (const QSize size : {w.size(), QSize(400, 260), QSize(900, 700)}) {
        w.resize(size);
        QApplication::processEvents();
        const QImage shown = Rgb(w.grab().toImage());
        ASSERT_EQ(shown.size(), size);
        const QImage stretched =
            picture.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        int compared = 0, equal = 0;
        for (int y = 1; y < size.height(); y += 7) {
            for (int x = 1; x < size.width(); x += 7) {
                if (w.childAt(x, y)) continue;  // a control paints itself here
                ++compared;
                if (shown.pixel(x, y) == stretched.pixel(x, y)) ++equal;
            }
        }
        EXPECT_GT(compared, 500);
        EXPECT_EQ(equal, compared) << size.width() << "x" << size.height();
    }

    // A transport button shows its blue face while pressed or focused, else its black.
    auto* play = Control<BitmapButton>(w, MainWindow::kPlay);
    auto* stop = Control<BitmapButton>(w, MainWindow::kStop);
    const QImage black = Rgb(controls::LoadSkinBitmap(controls::kIdPlay));
    const QImage blue = Rgb(controls::LoadSkinBitmap(controls::kIdPlayBlue));
    auto face = [&](const QImage& which) {
        return Rgb(play->grab().toImage()).copy(QRect(QPoint(0, 0), which.size())) == which;
    };
    w.activateWindow();
    stop->setFocus();
    QApplication::processEvents();
    EXPECT_TRUE(face(black));
    play->setDown(true);
    EXPECT_TRUE(face(blue));
    play->setDown(false);
    play->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(play->hasFocus());
    EXPECT_TRUE(face(blue));
    stop->setFocus();
    QApplication::processEvents();
    EXPECT_TRUE(face(black));
}

// A press on the window's background moves the window with the pointer; a press
// on the list or on a button does not.
TEST_F(MainWindowTest, APressOnTheBackgroundDragsTheWindow) {
    MainWindow w;
    w.move(100, 100);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    const QPoint start = w.pos();
    auto dragFrom = [&](QPoint at) {
        QTest::mousePress(w.windowHandle(), Qt::LeftButton, {}, at);
        QTest::mouseMove(w.windowHandle(), at + QPoint(30, 20));
        // A window that followed the pointer has it at the same client point again.
        const bool moved = w.pos() != start;
        QTest::mouseRelease(w.windowHandle(), Qt::LeftButton, {}, moved ? at : at + QPoint(30, 20));
        QApplication::processEvents();
    };
    auto* list = Control<QWidget>(w, MainWindow::kTrackList);
    dragFrom(list->geometry().center());
    EXPECT_EQ(w.pos(), start);
    dragFrom(Control<QWidget>(w, MainWindow::kRip)->geometry().center());
    EXPECT_EQ(w.pos(), start);

    const QPoint background(list->geometry().left() / 2, list->geometry().bottom());
    ASSERT_EQ(w.childAt(background), nullptr);
    dragFrom(background);
    EXPECT_EQ(w.pos(), start + QPoint(30, 20));
}

// Playback from the transport bar through the ALSA file sink: the slider follows
// the position, the next checked row plays when a track ends, Stop stops, and a
// window closed while a track plays ends the stream before it closes the drive.
TEST_F(MainWindowTest, PlaysTheCheckedRowsFromTheTransportBar) {
    playertest::SoundSink sink;
    auto sim = std::make_shared<cdaccess::SimulatedDrive>(
        cdaccess::SimulatedDrive::MakeTestAudio(150 + 300 + 150 + 3000, 5));
    sim->SetAudioTracks({150, 300, 150, 3000});
    auto gated = std::make_shared<playertest::GatedDrive>(sim);
    cdaccess::AddDrive(gated);

    auto w = std::make_unique<MainWindow>();
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    auto* list = Control<QTreeWidget>(*w, MainWindow::kTrackList);
    auto* slider = Control<QSlider>(*w, MainWindow::kSeekSlider);
    ASSERT_EQ(w->RowCount(), 4);
    list->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
    list->topLevelItem(2)->setCheckState(0, Qt::Unchecked);
    // Rows play their own tracks whatever titles they show.
    list->topLevelItem(1)->setText(1, QStringLiteral("Track 3"));
    list->topLevelItem(3)->setText(1, QStringLiteral("Intro"));

    // A read held at the gate is let go from another thread shortly after the
    // window has started to wait for the player thread.
    std::thread release;
    auto releaseSoon = [&] {
        release = std::thread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            gated->OpenGate();
        });
    };

    // Play starts the first checked row (row 1, 4 s); the read two seconds in is held.
    gated->CloseGateAt(150 + 150);
    QTest::mouseClick(Control<QAbstractButton>(*w, MainWindow::kPlay), Qt::LeftButton);
    EXPECT_TRUE(w->Player().IsPlaying());
    EXPECT_EQ(list->currentIndex().row(), 1);
    EXPECT_EQ(slider->maximum(), 4);
    EXPECT_EQ(w->Player().RangeStart(), 150);
    ASSERT_TRUE(gated->WaitArrived());
    ASSERT_TRUE(playertest::ProcessEventsUntil([&] { return slider->value() == 2; }));

    // At its end the next checked row (row 3, 40 s) plays; its read 10 s in is held.
    // The next row starts only when the window handles the end of this one, so the
    // gate can be moved once this stream has ended.
    gated->OpenGate();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (w->Player().LastEndReason() != player::CdPlayer::EndReason::EndOfRange &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(w->Player().LastEndReason(), player::CdPlayer::EndReason::EndOfRange);
    gated->CloseGateAt(600 + 750);
    ASSERT_TRUE(playertest::ProcessEventsUntil([&] { return list->currentIndex().row() == 3; }));
    EXPECT_TRUE(w->Player().IsPlaying());
    EXPECT_EQ(slider->maximum(), 40);
    EXPECT_EQ(w->Player().RangeStart(), 600);
    ASSERT_TRUE(gated->WaitArrived());
    ASSERT_TRUE(playertest::ProcessEventsUntil([&] { return slider->value() == 10; }));

    // The thumb dragged on and held past a tick of timer 1 stays where it is held; its
    // release seeks there.
    QStyleOptionSlider thumbOption;
    thumbOption.initFrom(slider);
    thumbOption.orientation = slider->orientation();
    thumbOption.minimum = slider->minimum();
    thumbOption.maximum = slider->maximum();
    thumbOption.sliderPosition = thumbOption.sliderValue = slider->value();
    const QPoint thumb =
        slider->style()
            ->subControlRect(QStyle::CC_Slider, &thumbOption, QStyle::SC_SliderHandle, slider)
            .center();
    QTest::mousePress(slider, Qt::LeftButton, {}, thumb);
    QTest::mouseMove(slider, thumb + QPoint(slider->width() / 3, 0));
    const int held = slider->value();
    ASSERT_GT(held, 15);
    QTest::qWait(700);
    EXPECT_EQ(slider->value(), held);
    QTest::mouseRelease(slider, Qt::LeftButton, {}, thumb + QPoint(slider->width() / 3, 0));
    int seconds = 0;
    w->Player().GetPosition(seconds);
    EXPECT_EQ(seconds, held);

    releaseSoon();
    QTest::mouseClick(Control<QAbstractButton>(*w, MainWindow::kStop), Qt::LeftButton);
    release.join();
    EXPECT_FALSE(w->Player().IsPlaying());
    EXPECT_EQ(w->Player().LastEndReason(), player::CdPlayer::EndReason::Stopped);

    // Closed while playing: the stream ends before the drive is closed.
    gated->CloseGateAt(150 + 150);
    QTest::mouseClick(Control<QAbstractButton>(*w, MainWindow::kPlay), Qt::LeftButton);
    ASSERT_TRUE(gated->WaitArrived());
    ASSERT_TRUE(w->Player().IsPlaying());
    const std::uint32_t handle = w->DriveHandle();
    releaseSoon();
    w.reset();
    release.join();
    EXPECT_EQ(cdaccess::DriveForHandle(handle), nullptr);
}

// A disc image named at start-up that cannot be opened: the rip commands' no-drive
// message says why, in the command line's words.
TEST_F(MainWindowTest, TheNoDriveMessageSaysWhyTheImageCouldNotBeOpened) {
    const std::string missing =
        (std::filesystem::temp_directory_path() / "tm_no_such_disc.cue").string();
    cdaccess::AddImage(missing);
    MainWindow w;
    EXPECT_EQ(w.DriveHandle(), 0u);
    EXPECT_EQ(w.DriveFailure(), "cannot open the disc image " + missing + ": the file is missing");
    QTest::mouseClick(Control<QAbstractButton>(w, MainWindow::kRip), Qt::LeftButton);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, QStringLiteral("    Inistall Rip Libarary failure !      \n\n") +
                                  QString::fromStdString(w.DriveFailure()));
}

}  // namespace

#include "MainWindowTest.moc"

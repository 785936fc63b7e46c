// The rip dialog end to end: the real dialog, clicked by control id, over a real
// rip engine whose threads read the demo disc image or the simulated drive.
//
// Seams: the dialog's owner is a TableSource (a track table with check states and
// the engine); the settings file is the test's own (the program is made to live
// in a temporary folder); the folder picker answers through its test function;
// the engine's writer can be slowed (its observer of written pieces sleeps) so that
// a track is still running when the test stops or closes the dialog. Every wait is bounded.
#include <gtest/gtest.h>
#include <mpg123.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>

#include "RipTestSupport.h"
#include "cd/DiscSession.h"
#include "core/Settings.h"
#include "platform/Modules.h"
#include "platform/Paths.h"
#include "rip/EncoderBinding.h"
#include "ui/FolderPicker.h"
#include "ui/RipDialog.h"
#include "ui/RipSource.h"

namespace fs = std::filesystem;
using namespace riptest;
using ui::FolderPicker;
using ui::RipDialog;

namespace {

class TableSource : public ui::RipSource {
  public:
    TableSource(std::uint32_t handle, std::vector<TrackEntry> table,
                RipEngine::WriterObserver afterWriterPiece)
        : engine(handle, std::move(afterWriterPiece)),
          rows(std::move(table)),
          checked(rows.size(), true) {}
    RipEngine& Engine() override { return engine; }
    int RowCount() const override { return static_cast<int>(rows.size()); }
    bool IsRowChecked(int row) const override { return checked[static_cast<size_t>(row)]; }
    const TrackEntry& Entry(int row) const override { return rows[static_cast<size_t>(row)]; }

    RipEngine engine;
    std::vector<TrackEntry> rows;
    std::vector<bool> checked;
};

QString Text(const QWidget& dialog, int id) {
    const QWidget* w = dialog.findChild<QWidget*>(QString::number(id));
    return w ? w->property("text").toString() : QStringLiteral("<no control %1>").arg(id);
}

QAbstractButton* Button(const QWidget& dialog, int id) {
    return dialog.findChild<QAbstractButton*>(QString::number(id));
}

void Click(const QWidget& dialog, int id) {
    QAbstractButton* b = Button(dialog, id);
    ASSERT_NE(b, nullptr) << id;
    QTest::mouseClick(b, Qt::LeftButton);
}

// Notes the Rip button's text and the status line as each end notice arrives,
// before the dialog handles it.
class NoticeWatch : public QObject {
  public:
    explicit NoticeWatch(QWidget& dialog) : dialog_(dialog) { dialog.installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* e) override {
        if (platform::IsWindowMessage(e) &&
            static_cast<platform::WindowMessageEvent*>(e)->message() == core::WM_RIP_TRACK_DONE)
            notices.push_back(
                {Text(dialog_, RipDialog::kIdRipStop), Text(dialog_, RipDialog::kIdStatus)});
        return false;
    }
    struct Notice {
        QString button, status;
    };
    std::vector<Notice> notices;

  private:
    QWidget& dialog_;
};

class RipDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        fs::create_directories(AppFolder());
        fs::create_directories(OutFolder());
        platform::SetExecutablePathForTesting(AppFolder() + "/trackmill");
        std::ofstream(AppFolder() + "/trackmill.ini")
            << "[CONFIG]\noutput=" << OutFolder() << "/\n";
        ResetEncoderBindingForTesting();
        platform::SetModuleSearchPath({PROGRAM_FOLDER}, false);
    }
    void TearDown() override {
        FolderPicker::testDialog = nullptr;
        source.reset();
        if (demo.handle) CloseDisc(demo);
        cdaccess::ClearAddedDrives();
        ResetEncoderBindingForTesting();
        platform::SetModuleSearchPath({}, true);
        platform::SetExecutablePathForTesting("");
    }

    std::string AppFolder() const { return dir.path().toStdString() + "/app"; }
    std::string OutFolder() const { return dir.path().toStdString() + "/out"; }
    std::string OutPath(const std::string& file) const { return OutFolder() + "/" + file; }

    // A simulated disc with tracks of these lengths, every row checked.
    TableSource& UseSimDisc(const std::vector<std::uint32_t>& lengths) {
        sim = OpenSimDisc(lengths);
        std::vector<TrackEntry> table;
        for (size_t i = 0; i < lengths.size(); ++i) table.push_back(sim.Entry(static_cast<int>(i)));
        return MakeSource(sim.handle, table);
    }
    // The dialog's owner over this table; its engine's writer sleeps writerDelayMs
    // after every piece, so that a track can be caught while it runs.
    TableSource& MakeSource(std::uint32_t handle, const std::vector<TrackEntry>& table) {
        source = std::make_unique<TableSource>(handle, table, [this] {
            if (const int ms = writerDelayMs.load())
                std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        });
        return *source;
    }

    static bool Finished(const RipDialog& d) { return !d.Running() && !d.TrackPending(); }

    // The file is a WAV file whose header matches its size, holding `audio` or,
    // when a prefix is allowed, the start of it.
    static void ExpectWav(const std::string& path, const std::vector<unsigned char>& audio,
                          bool prefixAllowed = false) {
        const auto file = ReadFile(path);
        ASSERT_GE(file.size(), 44u) << path;
        const std::uint32_t length = Le32(file, 40);
        EXPECT_EQ(length, file.size() - 44) << path;
        if (prefixAllowed)
            ASSERT_LE(length, audio.size()) << path;
        else
            ASSERT_EQ(length, audio.size()) << path;
        EXPECT_TRUE(std::equal(file.begin() + 44, file.end(), audio.begin()))
            << path << ": audio differs from the disc";
    }

    QTemporaryDir dir;
    SimDisc sim;
    DiscState demo;
    std::atomic<int> writerDelayMs{0};
    std::unique_ptr<TableSource> source;
};

TEST_F(RipDialogTest, AllRowsOfTheDemoDiscAreRippedTopToBottom) {
    std::string error;
    ASSERT_TRUE(OpenDisc({"--disc", std::string(TRACKMILL_DEMO_DIR) + "/demo.cue"}, demo, error))
        << error;
    std::vector<TrackEntry> table(demo.table.begin(), demo.table.begin() + demo.rows.size());
    ASSERT_TRUE(table.back().isData);  // the data row is checked too, as after start-up
    MakeSource(demo.handle, table);

    RipDialog dialog(*source, RipDialog::kFormatWav, false);
    NoticeWatch watch(dialog);
    dialog.show();
    EXPECT_EQ(Text(dialog, RipDialog::kIdFolder), QString::fromStdString(OutFolder() + "/"));
    EXPECT_EQ(Text(dialog, RipDialog::kIdStatus), "Track :");
    Click(dialog, RipDialog::kIdRipStop);
    EXPECT_EQ(Text(dialog, RipDialog::kIdRipStop), "Stop");
    ASSERT_TRUE(PumpUntil([&] { return Finished(dialog); }, 60000));

    // One notice per row, in row order, each while the button still read "Stop".
    ASSERT_EQ(watch.notices.size(), table.size());
    for (size_t i = 0; i < table.size(); ++i) {
        EXPECT_EQ(watch.notices[i].button, "Stop");
        EXPECT_EQ(watch.notices[i].status, QString(table[i].name) + ".wav");
    }
    EXPECT_EQ(Text(dialog, RipDialog::kIdRipStop), "Rip");
    EXPECT_EQ(Text(dialog, RipDialog::kIdStatus), "Finished ok !");

    const auto image = ReadFile(std::string(TRACKMILL_DEMO_DIR) + "/demo.bin");
    for (size_t i = 0; i + 1 < table.size(); ++i) {
        const auto from = image.begin() + std::ptrdiff_t{table[i].startLba} * kFrameBytes;
        ExpectWav(OutPath(std::string(table[i].name) + ".wav"),
                  {from, from + std::ptrdiff_t{table[i].lengthFrames} * kFrameBytes});
    }
    EXPECT_FALSE(fs::exists(OutPath("Data Track.wav")));
}

TEST_F(RipDialogTest, OnlyTheLastRowOrNoRowChecked) {
    TableSource& src = UseSimDisc({150, 150, 150});
    RipDialog dialog(src, RipDialog::kFormatWav, false);
    dialog.show();
    src.checked = {false, false, true};
    Click(dialog, RipDialog::kIdRipStop);
    ASSERT_TRUE(PumpUntil([&] { return Finished(dialog); }, 20000));
    EXPECT_EQ(Text(dialog, RipDialog::kIdStatus), "Finished ok !");
    EXPECT_FALSE(fs::exists(OutPath("Track 1.wav")));
    EXPECT_FALSE(fs::exists(OutPath("Track 2.wav")));
    ExpectWav(OutPath("Track 3.wav"), sim.TrackAudio(2));

    // No row: the batch runs without a track until the user stops it.
    src.checked = {false, false, false};
    Click(dialog, RipDialog::kIdRipStop);
    EXPECT_TRUE(dialog.Running());
    EXPECT_FALSE(dialog.TrackPending());
    EXPECT_EQ(Text(dialog, RipDialog::kIdRipStop), "Stop");
    Click(dialog, RipDialog::kIdRipStop);
    EXPECT_FALSE(dialog.Running());
    EXPECT_EQ(Text(dialog, RipDialog::kIdRipStop), "Rip");
    EXPECT_EQ(Text(dialog, RipDialog::kIdStatus), "User stop !");
    EXPECT_TRUE(Button(dialog, RipDialog::kIdRipStop)->isEnabled());
}

TEST_F(RipDialogTest, StopDuringTheSecondOfThreeTracksThenRipAgain) {
    TableSource& src = UseSimDisc({100, 4000, 100});
    writerDelayMs = 5;
    RipDialog dialog(src, RipDialog::kFormatWav, false);
    NoticeWatch watch(dialog);
    dialog.show();
    Click(dialog, RipDialog::kIdRipStop);
    ASSERT_TRUE(
        PumpUntil([&] { return Text(dialog, RipDialog::kIdStatus) == "Track 2.wav"; }, 10000));
    ASSERT_EQ(watch.notices.size(), 1u);

    Click(dialog, RipDialog::kIdRipStop);
    EXPECT_EQ(Text(dialog, RipDialog::kIdStatus), "User stop !");
    EXPECT_EQ(Text(dialog, RipDialog::kIdRipStop), "Rip");
    // Until the stopped track's notice, Rip cannot start a second track.
    EXPECT_FALSE(Button(dialog, RipDialog::kIdRipStop)->isEnabled());
    ASSERT_TRUE(PumpUntil([&] { return !dialog.TrackPending(); }, 10000));
    writerDelayMs = 0;
    EXPECT_TRUE(Button(dialog, RipDialog::kIdRipStop)->isEnabled());
    QTest::qWait(50);
    EXPECT_EQ(watch.notices.size(), 2u);
    EXPECT_EQ(Text(dialog, RipDialog::kIdStatus), "User stop !");
    EXPECT_FALSE(fs::exists(OutPath("Track 3.wav")));
    ExpectWav(OutPath("Track 2.wav"), sim.TrackAudio(1), true);
    EXPECT_LT(ReadFile(OutPath("Track 2.wav")).size(), 44 + sim.TrackAudio(1).size());

    // Rip again starts from the first checked row.
    fs::remove(OutPath("Track 1.wav"));
    Click(dialog, RipDialog::kIdRipStop);
    EXPECT_EQ(Text(dialog, RipDialog::kIdStatus), "Track 1.wav");
    ASSERT_TRUE(PumpUntil([&] { return Finished(dialog); }, 20000));
    EXPECT_EQ(Text(dialog, RipDialog::kIdStatus), "Finished ok !");
    for (int i = 0; i < 3; ++i)
        ExpectWav(OutPath("Track " + std::to_string(i + 1) + ".wav"), sim.TrackAudio(i));
}

TEST_F(RipDialogTest, FailedTracksAreNamedAtTheEndInsteadOfFinishedOk) {
    TableSource& src = UseSimDisc({200, 200, 200, 200});
    sim.drive->ScriptReadError(src.rows[1].startLba + 50, 100);  // never recovers
    sim.drive->ScriptReadError(src.rows[3].startLba + 20, 100);
    RipDialog dialog(src, RipDialog::kFormatWav, false);
    NoticeWatch watch(dialog);
    dialog.show();
    Click(dialog, RipDialog::kIdRipStop);
    ASSERT_TRUE(PumpUntil([&] { return Finished(dialog); }, 30000));
    EXPECT_EQ(watch.notices.size(), 4u);  // the batch went on after each failure
    EXPECT_EQ(Text(dialog, RipDialog::kIdStatus), "2 tracks failed: Track 2");
    ExpectWav(OutPath("Track 1.wav"), sim.TrackAudio(0));
    ExpectWav(OutPath("Track 3.wav"), sim.TrackAudio(2));
    ExpectWav(OutPath("Track 2.wav"), sim.TrackAudio(1), true);  // partial, still valid

    // One failure reads in the singular; a batch that succeeds is "Finished ok !" again.
    src.checked = {true, true, false, false};
    Click(dialog, RipDialog::kIdRipStop);
    ASSERT_TRUE(PumpUntil([&] { return Finished(dialog); }, 30000));
    EXPECT_EQ(Text(dialog, RipDialog::kIdStatus), "1 track failed: Track 2");
    src.checked = {true, false, true, false};
    Click(dialog, RipDialog::kIdRipStop);
    ASSERT_TRUE(PumpUntil([&] { return Finished(dialog); }, 30000));
    EXPECT_EQ(Text(dialog, RipDialog::kIdStatus), "Finished ok !");
}

TEST_F(RipDialogTest, OpenedFromCdToWavItStartsByItself) {
    TableSource& src = UseSimDisc({120, 80});
    RipDialog dialog(src, RipDialog::kFormatWav, true);
    dialog.show();
    EXPECT_TRUE(Button(dialog, RipDialog::kIdWav)->isChecked());
    EXPECT_FALSE(Button(dialog, RipDialog::kIdMp3)->isChecked());
    EXPECT_FALSE(dialog.Running());  // not before its timer has run
    ASSERT_TRUE(PumpUntil([&] { return dialog.Running(); }, 5000));
    ASSERT_TRUE(PumpUntil([&] { return Finished(dialog); }, 20000));
    EXPECT_EQ(Text(dialog, RipDialog::kIdStatus), "Finished ok !");
    ExpectWav(OutPath("Track 1.wav"), sim.TrackAudio(0));
    ExpectWav(OutPath("Track 2.wav"), sim.TrackAudio(1));
}

TEST_F(RipDialogTest, AChosenFolderServesThisDialogOnlyAndResetsTheRadioButtons) {
    TableSource& src = UseSimDisc({60});
    const std::string chosen = dir.path().toStdString() + "/chosen";
    fs::create_directories(chosen);
    std::string caption;
    FolderPicker::testDialog = [&](QWidget*, const std::string& title, const std::string&,
                                   const std::string&) -> std::optional<std::string> {
        caption = title;
        return chosen;
    };
    {
        RipDialog dialog(src);  // opened with RIP: MP3, no automatic start
        dialog.show();
        EXPECT_TRUE(Button(dialog, RipDialog::kIdMp3)->isChecked());
        Click(dialog, RipDialog::kIdWav);
        EXPECT_TRUE(Button(dialog, RipDialog::kIdWav)->isChecked());
        Click(dialog, RipDialog::kIdChooseFolder);
        EXPECT_EQ(caption, "Select output folder");
        EXPECT_EQ(Text(dialog, RipDialog::kIdFolder), QString::fromStdString(chosen + "/"));
        // The refresh moved every field into its control: the format field still
        // holds MP3.
        EXPECT_TRUE(Button(dialog, RipDialog::kIdMp3)->isChecked());
        EXPECT_FALSE(Button(dialog, RipDialog::kIdWav)->isChecked());

        Click(dialog, RipDialog::kIdWav);
        Click(dialog, RipDialog::kIdRipStop);
        ASSERT_TRUE(PumpUntil([&] { return Finished(dialog); }, 20000));
        ExpectWav(chosen + "/Track 1.wav", sim.TrackAudio(0));
        EXPECT_FALSE(fs::exists(OutPath("Track 1.wav")));
    }
    EXPECT_EQ(core::ReadOutputSetting(), OutFolder() + "/");
    RipDialog next(src);
    next.show();
    EXPECT_EQ(Text(next, RipDialog::kIdFolder), QString::fromStdString(OutFolder() + "/"));
}

TEST_F(RipDialogTest, ClosingDuringATrackEndsItAndTheEngineTakesTheNextBatch) {
    TableSource& src = UseSimDisc({3000, 100});
    writerDelayMs = 5;
    for (const char* how : {"escape", "close box", "exit"}) {
        SCOPED_TRACE(how);
        RipDialog dialog(src, RipDialog::kFormatWav, true);
        dialog.show();
        ASSERT_TRUE(PumpUntil([&] { return dialog.TrackPending(); }, 5000));
        if (std::string(how) == "escape")
            QTest::keyClick(&dialog, Qt::Key_Escape);
        else if (std::string(how) == "close box")
            dialog.close();
        else
            Click(dialog, RipDialog::kIdExit);
        ASSERT_TRUE(PumpUntil([&] { return !dialog.isVisible(); }, 10000));
        EXPECT_FALSE(dialog.TrackPending());
        EXPECT_FALSE(src.engine.TrackInProgress());  // the track was ended and released
        EXPECT_EQ(src.engine.LastEndReason(), kEndStopped);
        ExpectWav(OutPath("Track 1.wav"), sim.TrackAudio(0), true);
        EXPECT_FALSE(fs::exists(OutPath("Track 2.wav")));
    }
    writerDelayMs = 0;
    RipDialog dialog(src, RipDialog::kFormatWav, true);
    dialog.show();
    ASSERT_TRUE(PumpUntil([&] { return dialog.Running(); }, 5000));
    ASSERT_TRUE(PumpUntil([&] { return Finished(dialog); }, 20000));
    EXPECT_EQ(Text(dialog, RipDialog::kIdStatus), "Finished ok !");
    ExpectWav(OutPath("Track 1.wav"), sim.TrackAudio(0));
    ExpectWav(OutPath("Track 2.wav"), sim.TrackAudio(1));
}

}  // namespace

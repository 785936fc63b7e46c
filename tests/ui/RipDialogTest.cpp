// The rip dialog end to end: the real dialog, clicked by control id, over a real
// rip engine whose threads read the demo disc image or the simulated drive.
//
// Seams: the dialog's owner is a TableSource (a track table with check states and
// the engine); the settings file is the test's own (the program is made to live
// in a temporary folder); the folder picker answers through its test function;
// the engine's writer can be slowed (its observer of written pieces sleeps) so that
// a track is still running when the test stops or closes the dialog. Every wait is bounded.
#include <gtest/gtest.h>

#include <zlib.h>
#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>

#include "FlacDecode.h"
#include "Mp3Decode.h"
#include "RipTestSupport.h"
#include "cd/DiscSession.h"
#include "core/Settings.h"
#include "encode/EncoderBinding.h"
#include "platform/Modules.h"
#include "platform/Paths.h"
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
    cd::Track TrackAt(int row) const override {
        cd::Track track = AsTrack(rows[static_cast<size_t>(row)], row + 1);
        if (static_cast<size_t>(row) < titles.size())
            track.title = titles[static_cast<size_t>(row)];
        return track;
    }

    RipEngine engine;
    std::vector<TrackEntry> rows;
    std::vector<std::string> titles;  // the rows' titles, when not their texts
    std::vector<bool> checked;
};

QString Text(const QWidget& dialog, int id) {
    const QWidget* w = dialog.findChild<QWidget*>(QString::number(id));
    return w ? w->property("text").toString() : QStringLiteral("<no control %1>").arg(id);
}

QAbstractButton* Button(const QWidget& dialog, int id) {
    return dialog.findChild<QAbstractButton*>(QString::number(id));
}

// The position of the dialog's percent bar: bytes of the current track written.
std::uintptr_t Progress(const QWidget& dialog) {
    QWidget* bar = dialog.findChild<QWidget*>(QString::number(RipDialog::kIdProgress));
    return bar ? static_cast<std::uintptr_t>(
                     platform::SendMessage(platform::WindowHandleOf(bar), core::PBX_GETPOS))
               : 0;
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

    static bool Finished(const RipDialog& d) {
        return !d.Running() && !d.TrackPending() && !d.Finishing();
    }
    // The text of the one rip log in the output folder.
    std::string RipLog() const {
        std::vector<fs::path> logs;
        for (const auto& f : fs::directory_iterator(OutFolder()))
            if (f.path().extension() == ".log") logs.push_back(f.path());
        if (logs.size() != 1) return "<" + std::to_string(logs.size()) + " rip logs>";
        const auto bytes = ReadFile(logs[0].string());
        return {bytes.begin(), bytes.end()};
    }

    QTemporaryDir dir;
    SimDisc sim;
    DiscState demo;
    std::atomic<int> writerDelayMs{0};
    std::unique_ptr<TableSource> source;
};

TEST_F(RipDialogTest, CdToWavRipsEveryRowOfTheDemoDiscTopToBottomByItself) {
    std::string error;
    ASSERT_TRUE(OpenDisc({"--disc", std::string(TRACKMILL_DEMO_DIR) + "/demo.cue"}, demo, error))
        << error;
    std::vector<TrackEntry> table(demo.table.begin(), demo.table.begin() + demo.rows.size());
    ASSERT_TRUE(table.back().isData);  // the data row is checked too, as after start-up
    MakeSource(demo.handle, table);

    // Opened as "CD to Wav": WAV selected, and the batch starts by itself.
    RipDialog dialog(*source, RipDialog::kFormatWav, true);
    NoticeWatch watch(dialog);
    dialog.show();
    EXPECT_TRUE(Button(dialog, RipDialog::kIdWav)->isChecked());
    EXPECT_FALSE(Button(dialog, RipDialog::kIdMp3)->isChecked());
    EXPECT_EQ(Text(dialog, RipDialog::kIdFolder), QString::fromStdString(OutFolder() + "/"));
    EXPECT_EQ(Text(dialog, RipDialog::kIdStatus), "Track :");
    EXPECT_FALSE(dialog.Running());  // not before its timer has run
    ASSERT_TRUE(PumpUntil([&] { return dialog.Running(); }, 5000));
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

    // The rip log beside the files names every track with its file and the CRC32 of
    // its audio.
    const std::string log = RipLog();
    for (size_t i = 0; i + 1 < table.size(); ++i) {
        const auto* from = image.data() + std::ptrdiff_t{table[i].startLba} * kFrameBytes;
        char crc[32];
        std::snprintf(crc, sizeof crc, "crc32: %08lx",
                      crc32(0, from, static_cast<uInt>(table[i].lengthFrames * kFrameBytes)));
        const std::string name = table[i].name;
        const auto at = log.find("track: " + name + "\nfile: " + OutPath(name + ".wav") + "\n");
        ASSERT_NE(at, std::string::npos) << name << "\n" << log;
        EXPECT_EQ(log.find(crc, at), log.find("crc32: ", at)) << name << "\n" << log;
    }

    // A batch of the data row alone writes nothing and says so.
    for (size_t i = 0; i + 1 < table.size(); ++i) source->checked[i] = false;
    Click(dialog, RipDialog::kIdRipStop);
    ASSERT_TRUE(PumpUntil([&] { return Finished(dialog); }, 20000));
    EXPECT_EQ(Text(dialog, RipDialog::kIdStatus), "No audio track checked !");
    const std::string audio = std::to_string(table.size() - 1);  // the data row is skipped
    EXPECT_NE(log.find("summary: " + audio + " track(s), " + audio + " ok, 0 suspicious, 0 failed"),
              std::string::npos)
        << log;
}

// Rows titled otherwise than "Track N", one of them misleadingly, rip their own
// tracks into files named by their titles, and the log names each by its title.
TEST_F(RipDialogTest, RowsWithOtherTitlesRipAndLogTheirOwnTracks) {
    TableSource& src = UseSimDisc({150, 120, 90});
    src.titles = {"Track 3", "Intro: Part/2"};  // the last row keeps "Track 3" too
    src.checked = {true, true, false};
    RipDialog dialog(src, RipDialog::kFormatWav, false);
    NoticeWatch watch(dialog);
    dialog.show();
    Click(dialog, RipDialog::kIdRipStop);
    ASSERT_TRUE(PumpUntil([&] { return Finished(dialog); }, 30000));
    EXPECT_EQ(Text(dialog, RipDialog::kIdStatus), "Finished ok !");
    ASSERT_EQ(watch.notices.size(), 2u);
    EXPECT_EQ(watch.notices[1].status, "Intro_ Part_2.wav");
    ExpectWav(OutPath("Track 3.wav"), sim.TrackAudio(0));
    ExpectWav(OutPath("Intro_ Part_2.wav"), sim.TrackAudio(1));
    const std::string log = RipLog();
    EXPECT_NE(log.find("track: Track 3\nfile: " + OutPath("Track 3.wav") + "\nstart: 0\n"),
              std::string::npos)
        << log;
    EXPECT_NE(
        log.find("track: Intro: Part/2\nfile: " + OutPath("Intro_ Part_2.wav") + "\nstart: 150\n"),
        std::string::npos)
        << log;
}

TEST_F(RipDialogTest, OnlyTheLastRowOrNoRowChecked) {
    TableSource& src = UseSimDisc({150, 150, 150});
    RipDialog dialog(src, RipDialog::kFormatWav, false);
    dialog.show();
    src.checked = {false, false, true};
    // The AccurateRip lookup runs after the batch with the window still answering
    // and Rip unavailable; here the database holds the answer until it is seen.
    QTcpServer database;
    ASSERT_TRUE(database.listen(QHostAddress::LocalHost));
    std::ofstream(AppFolder() + "/trackmill.ini", std::ios::app) << "accuraterip=1\n";
    ::setenv("TRACKMILL_ACCURATERIP_URL",
             ("http://127.0.0.1:" + std::to_string(database.serverPort())).c_str(), 1);
    Click(dialog, RipDialog::kIdRipStop);
    QTcpSocket* lookup = nullptr;
    QByteArray request;
    ASSERT_TRUE(PumpUntil(
        [&] {
            if (!lookup) lookup = database.nextPendingConnection();
            if (lookup) request += lookup->readAll();
            return request.contains("\r\n\r\n");
        },
        20000));
    ::unsetenv("TRACKMILL_ACCURATERIP_URL");
    EXPECT_TRUE(dialog.Finishing());
    EXPECT_EQ(Text(dialog, RipDialog::kIdStatus), "Checking AccurateRip...");
    EXPECT_FALSE(Button(dialog, RipDialog::kIdRipStop)->isEnabled());
    lookup->write("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    lookup->disconnectFromHost();
    ASSERT_TRUE(PumpUntil([&] { return Finished(dialog); }, 20000));
    EXPECT_EQ(Text(dialog, RipDialog::kIdStatus), "Finished ok !");
    EXPECT_TRUE(Button(dialog, RipDialog::kIdRipStop)->isEnabled());
    EXPECT_NE(RipLog().find("accuraterip: not in database"), std::string::npos) << RipLog();
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

    // Escape while the database has not answered calls the lookup off: the dialog
    // closes without waiting for the network, and the log says why nothing was checked.
    for (const auto& f : fs::directory_iterator(OutFolder()))
        if (f.path().extension() == ".log") fs::remove(f.path());
    src.checked = {false, false, true};
    ::setenv("TRACKMILL_ACCURATERIP_URL",
             ("http://127.0.0.1:" + std::to_string(database.serverPort())).c_str(), 1);
    Click(dialog, RipDialog::kIdRipStop);
    ASSERT_TRUE(PumpUntil([&] { return database.hasPendingConnections(); }, 20000));
    ::unsetenv("TRACKMILL_ACCURATERIP_URL");
    QTest::keyClick(&dialog, Qt::Key_Escape);
    ASSERT_TRUE(PumpUntil([&] { return !dialog.isVisible(); }, 20000));
    EXPECT_NE(RipLog().find("accuraterip: could not be checked (cancelled)"), std::string::npos)
        << RipLog();
}

TEST_F(RipDialogTest, TheCtdbSettingChecksTheWholeDiscAfterTheBatch) {
    TableSource& src = UseSimDisc({150, 150});
    RipDialog dialog(src, RipDialog::kFormatWav, false);
    dialog.show();
    QTcpServer database;
    ASSERT_TRUE(database.listen(QHostAddress::LocalHost));
    std::ofstream(AppFolder() + "/trackmill.ini", std::ios::app) << "ctdb=1\n";
    ::setenv("TRACKMILL_CTDB_URL",
             ("http://127.0.0.1:" + std::to_string(database.serverPort())).c_str(), 1);
    Click(dialog, RipDialog::kIdRipStop);
    // The database holds its answer until the status line has been seen.
    ASSERT_TRUE(PumpUntil([&] { return database.hasPendingConnections(); }, 20000));
    ::unsetenv("TRACKMILL_CTDB_URL");
    EXPECT_EQ(Text(dialog, RipDialog::kIdStatus), "Checking CTDB...");
    QTcpSocket* lookup = database.nextPendingConnection();
    lookup->write("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    lookup->disconnectFromHost();
    ASSERT_TRUE(PumpUntil([&] { return Finished(dialog); }, 20000));
    EXPECT_EQ(Text(dialog, RipDialog::kIdStatus), "Finished ok !");
    EXPECT_NE(RipLog().find("\nctdb: not in database\n"), std::string::npos) << RipLog();
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
    // Some audio is written, so the stopped track keeps a file.
    ASSERT_TRUE(PumpUntil([&] { return Progress(dialog) > 0; }, 10000));
    ASSERT_EQ(watch.notices.size(), 1u);

    Click(dialog, RipDialog::kIdRipStop);
    EXPECT_EQ(Text(dialog, RipDialog::kIdStatus), "User stop !");
    EXPECT_EQ(Text(dialog, RipDialog::kIdRipStop), "Rip");
    // Until the stopped track's notice, Rip cannot start a second track.
    EXPECT_FALSE(Button(dialog, RipDialog::kIdRipStop)->isEnabled());
    ASSERT_TRUE(PumpUntil([&] { return !dialog.TrackPending(); }, 10000));
    writerDelayMs = 0;
    EXPECT_TRUE(Button(dialog, RipDialog::kIdRipStop)->isEnabled());
    EXPECT_TRUE(Button(dialog, RipDialog::kIdRipStop)->hasFocus());  // not left on Exit
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
    EXPECT_EQ(Text(dialog, RipDialog::kIdStatus), "2 tracks failed: Track 2 (read error)");
    // The tooltip holds the whole text, with each failed track's reason.
    EXPECT_EQ(dialog.findChild<QWidget*>(QString::number(RipDialog::kIdStatus))->toolTip(),
              "2 tracks failed: Track 2 (read error)\nTrack 2: the disc could not be read\n"
              "Track 4: the disc could not be read");
    ExpectWav(OutPath("Track 1.wav"), sim.TrackAudio(0));
    ExpectWav(OutPath("Track 3.wav"), sim.TrackAudio(2));
    if (fs::exists(OutPath("Track 2.wav")))  // audio before the error, as a valid file
        ExpectWav(OutPath("Track 2.wav"), sim.TrackAudio(1), true);

    // One failure reads in the singular.
    src.checked = {true, true, false, false};
    Click(dialog, RipDialog::kIdRipStop);
    ASSERT_TRUE(PumpUntil([&] { return Finished(dialog); }, 30000));
    EXPECT_EQ(Text(dialog, RipDialog::kIdStatus), "1 track failed: Track 2 (read error)");

    // With test and copy on, a track that does not read the same twice is suspicious,
    // in the status line and in the batch's log.
    std::ofstream(AppFolder() + "/trackmill.ini", std::ios::app) << "verify=1\n";
    sim.drive->ScriptUnstableFrame(src.rows[0].startLba + 30);
    for (const auto& f : fs::directory_iterator(OutFolder()))
        if (f.path().extension() == ".log") fs::remove(f.path());
    Click(dialog, RipDialog::kIdRipStop);
    ASSERT_TRUE(PumpUntil([&] { return Finished(dialog); }, 30000));
    EXPECT_EQ(Text(dialog, RipDialog::kIdStatus),
              "1 failed: Track 2 (read error); 1 suspicious: Track 1");
    const std::string log = RipLog();
    EXPECT_NE(log.find("test and copy: yes"), std::string::npos) << log;
    EXPECT_NE(log.find("result: suspicious"), std::string::npos) << log;
    EXPECT_NE(log.find("summary: 2 track(s), 0 ok, 1 suspicious, 1 failed"), std::string::npos)
        << log;
    // The failed track's own result line says so.
    const auto failed = log.find("track: Track 2\n");
    ASSERT_NE(failed, std::string::npos) << log;
    EXPECT_EQ(log.find("result: ", failed),
              log.find("result: failed (the disc could not be read)", failed))
        << log;

    // Suspicious tracks alone, none failed: still not "Finished ok !".
    sim.drive->ScriptUnstableFrame(src.rows[2].startLba + 30);
    src.checked = {false, false, true, false};
    Click(dialog, RipDialog::kIdRipStop);
    ASSERT_TRUE(PumpUntil([&] { return Finished(dialog); }, 30000));
    EXPECT_EQ(Text(dialog, RipDialog::kIdStatus), "1 track suspicious: Track 3");
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

    // A folder longer than a rip's folder field holds is refused, not cut short.
    const std::string longFolder = OutFolder() + "/" + std::string(270, 'x') + "/";
    std::ofstream(AppFolder() + "/trackmill.ini") << "[CONFIG]\noutput=" << longFolder << "\n";
    RipDialog tooLong(src);
    tooLong.show();
    Click(tooLong, RipDialog::kIdRipStop);
    EXPECT_FALSE(tooLong.Running());
    EXPECT_EQ(Text(tooLong, RipDialog::kIdStatus), "Output folder path too long !");

    // A missing "output" folder is made when the batch starts; "..." waits for its end.
    const std::string missing = dir.path().toStdString() + "/new/out/";
    std::ofstream(AppFolder() + "/trackmill.ini") << "[CONFIG]\noutput=" << missing << "\n";
    RipDialog made(src, RipDialog::kFormatWav, false);
    made.show();
    Click(made, RipDialog::kIdRipStop);
    EXPECT_FALSE(Button(made, RipDialog::kIdChooseFolder)->isEnabled());
    ASSERT_TRUE(PumpUntil([&] { return Finished(made); }, 20000));
    EXPECT_TRUE(Button(made, RipDialog::kIdChooseFolder)->isEnabled());
    EXPECT_EQ(Text(made, RipDialog::kIdStatus), "Finished ok !");
    ExpectWav(missing + "Track 1.wav", sim.TrackAudio(0));
}

TEST_F(RipDialogTest, ClosingDuringATrackEndsItAndTheEngineTakesTheNextBatch) {
    TableSource& src = UseSimDisc({3000, 100});
    writerDelayMs = 5;
    for (const char* how : {"escape", "close box", "exit"}) {
        SCOPED_TRACE(how);
        RipDialog dialog(src, RipDialog::kFormatWav, true);
        dialog.show();
        ASSERT_TRUE(PumpUntil([&] { return dialog.TrackPending() && Progress(dialog) > 0; }, 5000));
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

namespace {

// What a decoded channel should hold: the disc's left or right channel, or both
// mixed.
enum Source { kLeft, kRight, kMix };

// Normalised correlation of the first decoded channel with `source` of the disc's
// audio, away from the ends.
double Correlation(const std::vector<unsigned char>& disc, Source source, const DecodedMp3& d) {
    const auto* src = reinterpret_cast<const std::int16_t*>(disc.data());
    const size_t channels = static_cast<size_t>(std::max(d.channels, 1));
    const size_t n = std::min(disc.size() / 4, d.pcm.size() / channels);
    double sxy = 0, sxx = 0, syy = 0;
    for (size_t i = 2000; i + 2000 < n; ++i) {
        const double left = src[2 * i], right = src[2 * i + 1];
        const double x = source == kLeft ? left : source == kRight ? right : (left + right) / 2;
        const double y = d.pcm[i * channels];
        sxy += x * y, sxx += x * x, syy += y * y;
    }
    return sxy / std::sqrt(sxx * syy);
}

// Stereo audio whose channels have nothing in common: a 440 Hz tone on the left,
// a quieter 1000 Hz tone on the right. Both are loud: their sum often passes full
// scale, so a mix that overflows would show.
std::vector<unsigned char> TwoTones(std::uint32_t frames) {
    std::vector<unsigned char> audio(std::size_t{frames} * kFrameBytes);
    for (size_t i = 0; i < audio.size() / 4; ++i) {
        const double t = static_cast<double>(i) / 44100.0;
        const auto left = static_cast<std::int16_t>(30000 * std::sin(2 * M_PI * 440 * t));
        const auto right = static_cast<std::int16_t>(20000 * std::sin(2 * M_PI * 1000 * t));
        audio[4 * i] = static_cast<unsigned char>(left & 0xFF);
        audio[4 * i + 1] = static_cast<unsigned char>((left >> 8) & 0xFF);
        audio[4 * i + 2] = static_cast<unsigned char>(right & 0xFF);
        audio[4 * i + 3] = static_cast<unsigned char>((right >> 8) & 0xFF);
    }
    return audio;
}

TEST_F(RipDialogTest, TheRateAndChannelSettingsSteerMp3Rips) {
    sim = OpenSimDisc({400}, 1, 0, TwoTones(400));
    TableSource& src = MakeSource(sim.handle, {sim.Entry(0)});
    const std::vector<unsigned char> audio = sim.TrackAudio(0);
    const size_t pairs = audio.size() / 4;
    struct Case {
        const char* settings;  // lines after "output"
        int channels;
        Source source;  // what the first decoded channel holds
        int minKbps;    // the VBR minimum: the lowest frame rate
    };
    const Case cases[] = {
        {"", 2, kLeft, 192},                       // defaults: stereo at 192, as ever
        {"rate=5\nchannle=3\n", 1, kMix, 128},     // 128, "Single track"
        {"rate=0\nchannle=1\n", 1, kLeft, 320},    // 320, "Lift track"
        {"rate=3\nchannle=2\n", 1, kRight, 192},   // "Right track"
        {"rate=42\nchannle=-7\n", 2, kLeft, 192},  // outside the lists: the defaults
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings);
        std::ofstream(AppFolder() + "/trackmill.ini") << "[CONFIG]\noutput=" << OutFolder() << "/\n"
                                                      << c.settings;
        RipDialog dialog(src);
        dialog.show();
        Click(dialog, RipDialog::kIdRipStop);
        ASSERT_TRUE(PumpUntil([&] { return Finished(dialog); }, 30000));
        EXPECT_EQ(Text(dialog, RipDialog::kIdStatus), "Finished ok !");
        const DecodedMp3 d = DecodeMp3(OutPath("Track 1.mp3"));
        ASSERT_EQ(d.channels, c.channels);
        EXPECT_EQ(d.pcm.size(), pairs * static_cast<size_t>(c.channels));
        EXPECT_EQ(d.minKbps, c.minKbps);
        // Only the chosen source matches: the other channel shares nothing with it,
        // and the mix matches either channel by 0.83 (left) or 0.55 (right) at best.
        EXPECT_GT(Correlation(audio, c.source, d), 0.98);
        for (Source other : {kLeft, kRight, kMix}) {
            if (other != c.source) {
                EXPECT_LT(Correlation(audio, other, d), 0.9) << other;
            }
        }
    }
}

}  // namespace

// MP3 tracks are encoded beside the disc read: while the reader goes on, the status
// line says how many tracks are still being encoded, and "Finished ok !" comes only
// once the last encoder is done, with every file under its name and the log written.
TEST_F(RipDialogTest, TheEndTextWaitsForTheLastEncoder) {
    TableSource& src = UseSimDisc({600, 600, 600});
    RipDialog dialog(src);
    dialog.show();
    Click(dialog, RipDialog::kIdMp3);
    Click(dialog, RipDialog::kIdRipStop);
    bool encodingShown = false, filesAtEnd = false;
    ASSERT_TRUE(PumpUntil(
        [&] {
            const QString status = Text(dialog, RipDialog::kIdStatus);
            encodingShown |= status.endsWith(" encoding)") || status.startsWith("Encoding... ");
            if (status == "Finished ok !" && !filesAtEnd) {
                filesAtEnd = RipLog().rfind("Trackmill rip log", 0) == 0;
                for (int t = 1; t <= 3; ++t)
                    filesAtEnd &= fs::exists(OutPath("Track " + std::to_string(t) + ".mp3"));
            }
            return Finished(dialog);
        },
        60000));
    EXPECT_TRUE(encodingShown);
    EXPECT_TRUE(filesAtEnd);
    EXPECT_EQ(Text(dialog, RipDialog::kIdStatus), "Finished ok !");
}

// The FLAC radio button, third after MP3 and WAV, rips to FLAC files that hold the
// disc's exact samples, and the log names the format.
TEST_F(RipDialogTest, TheFlacButtonRipsToFlac) {
    TableSource& src = UseSimDisc({60, 40});
    RipDialog dialog(src);
    dialog.show();
    EXPECT_EQ(Button(dialog, RipDialog::kIdFlac)->text(), "FLAC");
    EXPECT_GT(Button(dialog, RipDialog::kIdFlac)->x(), Button(dialog, RipDialog::kIdWav)->x());
    Click(dialog, RipDialog::kIdFlac);
    EXPECT_FALSE(Button(dialog, RipDialog::kIdMp3)->isChecked());
    Click(dialog, RipDialog::kIdRipStop);
    ASSERT_TRUE(PumpUntil([&] { return Finished(dialog); }, 20000));
    EXPECT_EQ(Text(dialog, RipDialog::kIdStatus), "Finished ok !");
    for (int t = 0; t < 2; ++t) {
        const DecodedFlac d = DecodeFlac(OutPath("Track " + std::to_string(t + 1) + ".flac"));
        ASSERT_TRUE(d.ok) << t;
        EXPECT_TRUE(d.pcm == sim.TrackAudio(t)) << t;
        EXPECT_FALSE(fs::exists(OutPath("Track " + std::to_string(t + 1) + ".wav")));
    }
    EXPECT_NE(RipLog().find("format: flac"), std::string::npos) << RipLog();
}

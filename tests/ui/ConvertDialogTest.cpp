// The Convert dialog running real conversions with the encoder module: the file dialog
// and the folder picker are answered through their seams, the program folder is a
// temporary folder holding the settings file, and the engine's clock moves a second
// per reading (SteppingClock, given to the dialog) so every chunk reports progress.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "TestAudio.h"
#include "convert/ConverterLibrary.h"
#include "core/Messages.h"
#include "platform/Modules.h"
#include "platform/Paths.h"
#include "platform/WindowMessages.h"
#include "ui/ConvertDialog.h"
#include "ui/FileDialog.h"
#include "ui/FolderPicker.h"

// Readable failure messages for texts.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace {

using ui::ConvertDialog;

class ConvertDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = MakeTempFolder();
        ASSERT_FALSE(folder_.empty());
        ASSERT_EQ(0, mkdir((folder_ + "/src").c_str(), 0700));
        ASSERT_EQ(0, mkdir((folder_ + "/other").c_str(), 0700));
        ASSERT_EQ(0, mkdir((folder_ + "/out").c_str(), 0700));
        platform::SetExecutablePathForTesting(folder_ + "/trackmill");
        platform::SetModuleSearchPath({TM_BIN_DIR}, false);
        library_.Bind();
    }
    void TearDown() override {
        ui::FileDialog::testDialog = nullptr;
        ui::FolderPicker::testDialog = nullptr;
        library_.Release();
        platform::SetModuleSearchPath({}, true);
        platform::SetExecutablePathForTesting("");
        RemoveFolder(folder_);
    }
    // jobs 1 converts one file at a time, which the row-by-row tests rely on.
    void WriteSettings(const std::string& output, int rate, int channel, int jobs = 1) {
        WriteBytes(folder_ + "/trackmill.ini",
                   "[CONFIG]\noutput=" + output + "\nrate=" + std::to_string(rate) + "\nchannle=" +
                       std::to_string(channel) + "\njobs=" + std::to_string(jobs) + "\n");
    }
    // The file dialog answers `paths` and records the filters it was shown with.
    void AnswerFiles(std::vector<std::string> paths) {
        ui::FileDialog::testDialog = [this, paths](QWidget*, const QStringList& filters) {
            filters_ = filters;
            return std::optional<std::vector<std::string>>(paths);
        };
    }
    // Records every status text the dialog shows.
    void Watch(ConvertDialog& d) {
        statuses_.clear();
        QObject::connect(&d, &ConvertDialog::statusShown,
                         [this](const QString& text) { statuses_.push_back(text); });
    }
    template <class T>
    static T* Control(ConvertDialog& d, int id) {
        return d.findChild<T*>(QString::number(id));
    }
    static void Click(ConvertDialog& d, int id) { Control<QPushButton>(d, id)->click(); }
    static QString Status(ConvertDialog& d) {
        return Control<QLabel>(d, ConvertDialog::kIdStatus)->text();
    }
    static std::intptr_t BarPosition(ConvertDialog& d) {
        return platform::SendMessage(
            platform::GetDlgItem(platform::WindowHandleOf(&d), ConvertDialog::kIdBar),
            core::PBX_GETPOS);
    }
    static QStringList Rows(ConvertDialog& d) {
        QStringList rows;
        auto* list = Control<QTreeWidget>(d, ConvertDialog::kIdSourceList);
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            rows << list->topLevelItem(i)->text(0) + " " + list->topLevelItem(i)->text(1);
        }
        return rows;
    }
    // Runs the event loop until `done` holds (a generous bound keeps a fault from hanging
    // the suite; no timing is asserted).
    template <class F>
    static bool WaitFor(F done) {
        for (int i = 0; i < 24000 && !done(); ++i) {
            QApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        QApplication::processEvents();
        return done();
    }
    static bool WaitForConverting(ConvertDialog& d) {
        return WaitFor([&] { return Status(d).startsWith("Converting... Finish: "); });
    }
    std::string Path(const std::string& name) const { return folder_ + "/" + name; }
    static std::string ReadBytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    convert::ConverterLibrary library_;
    std::string folder_;
    QStringList filters_;
    std::vector<QString> statuses_;
};

// A list filled by two uses of the file dialog and a drop, converted in one run: the
// rows' insertion and numbering, the status texts of every row in order, the bar full
// at the end, the targets joined to a folder given without a separator, the same
// title twice kept as two files, a source cut short converted and named so, a non-WAV
// row skipped, and the rate and channel settings in the files.
TEST_F(ConvertDialogTest, ConvertsTheListRowByRowWithItsStatusTexts) {
    WriteSettings(folder_ + "/out", 5, 2);  // 128 kbit/s, "Right track"
    WriteWav(Path("src/a.wav"), 22050, 1, Sines(22050, 22050, {440.0}));
    const auto stereo = Sines(44100, 44100, {440.0, 1000.0});
    WriteWav(Path("src/b.wav"), 44100, 2, stereo);
    WriteWav(Path("other/a.wav"), 44100, 2, Sines(44100, 22050, {440.0, 660.0}));
    WriteWav(Path("src/c.WAV"), 44100, 1, Sines(44100, 11025, {440.0}));
    WriteWav(Path("src/d.wav"), 44100, 1, Sines(44100, 44100, {440.0}));
    std::filesystem::resize_file(Path("src/d.wav"), 44 + 44100);  // half its audio
    WriteBytes(Path("src/notes.txt"), "not audio");

    ConvertDialog d(library_, nullptr, &SteppingClock);
    d.show();
    Watch(d);
    EXPECT_EQ("Convert", d.windowTitle());
    EXPECT_EQ(QString::fromStdString(folder_ + "/out"),
              Control<QLineEdit>(d, ConvertDialog::kIdFolder)->text());
    auto* start = Control<QPushButton>(d, ConvertDialog::kIdStart);
    EXPECT_EQ("Start", start->text());

    // Start on an empty list changes nothing.
    Click(d, ConvertDialog::kIdStart);
    QApplication::processEvents();
    EXPECT_FALSE(d.IsConverting());
    EXPECT_TRUE(statuses_.empty());
    EXPECT_EQ("Start", start->text());
    EXPECT_EQ(0, BarPosition(d));

    // The folder counts in the insertion index but adds no row; rows are numbered from 0
    // per use, and a second use inserts ahead of the earlier rows.
    AnswerFiles({Path("src/a.wav"), Path("src"), Path("src/b.wav"), Path("src/notes.txt")});
    Click(d, ConvertDialog::kIdAddSources);
    EXPECT_EQ(QStringList{"WAV File(*.WAV)"}, filters_);
    AnswerFiles({Path("other/a.wav"), Path("src/d.wav")});
    Click(d, ConvertDialog::kIdAddSources);
    // A drop adds its WAV files as the file dialog's choice would (Qt delivers a drop
    // only to a widget that accepted the drag's entry).
    QMimeData drop;
    drop.setUrls({QUrl::fromLocalFile(QString::fromStdString(Path("src/c.WAV"))),
                  QUrl::fromLocalFile(QString::fromStdString(Path("src/notes.txt")))});
    auto* list = Control<QTreeWidget>(d, ConvertDialog::kIdSourceList);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &drop, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent dropEvent(QPointF(10, 10), Qt::CopyAction, &drop, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &dropEvent);
    const QString s = QString::fromStdString(folder_);
    EXPECT_EQ((QStringList{"0 " + s + "/src/c.WAV", "0 " + s + "/other/a.wav",
                           "1 " + s + "/src/d.wav", "0 " + s + "/src/a.wav",
                           "1 " + s + "/src/b.wav", "2 " + s + "/src/notes.txt"}),
              Rows(d));

    Click(d, ConvertDialog::kIdStart);
    EXPECT_EQ("Stop", start->text());
    ASSERT_TRUE(WaitFor([&] { return !d.IsConverting(); }));
    EXPECT_EQ("Start", start->text());
    EXPECT_TRUE(start->isEnabled());
    EXPECT_EQ(100, BarPosition(d));

    // Per row: its target, progress texts, then the end text; the skipped row shows
    // only its target.
    const QString out = s + "/out/";
    const QStringList targets = {out + "c.mp3",     out + "a.mp3", out + "d.mp3",
                                 out + "a (2).mp3", out + "b.mp3", out + "notes.mp3"};
    std::size_t at = 0;
    for (int row = 0; row < targets.size(); ++row) {
        ASSERT_LT(at, statuses_.size());
        EXPECT_EQ(targets[row], statuses_[at++]);
        if (row == targets.size() - 1) break;
        int running = 0;
        while (at < statuses_.size() && statuses_[at].startsWith("Converting... Finish: ")) {
            ++at;
            ++running;
        }
        EXPECT_GT(running, 0) << targets[row].toStdString();
        ASSERT_LT(at, statuses_.size());
        const char* end = row == 2 ? "Finished, source truncated! Times:" : "Finished . Times:";
        EXPECT_TRUE(statuses_[at++].startsWith(end)) << targets[row].toStdString();
    }
    EXPECT_EQ(statuses_.size(), at);
    EXPECT_FALSE(FileExists(folder_ + "/out/notes.mp3"));
    EXPECT_FALSE(FileExists(folder_ + "/outc.mp3"));

    const struct {
        const char* name;
        double frames;
    } files[] = {{"c.mp3", 11025},
                 {"a.mp3", 22050},
                 {"d.mp3", 22050},
                 {"a (2).mp3", 44100},
                 {"b.mp3", 44100}};
    for (const auto& f : files) {
        const DecodedMp3 mp3 = DecodeMp3(folder_ + "/out/" + f.name);
        ASSERT_TRUE(mp3.ok) << f.name;
        EXPECT_EQ(44100, mp3.rate) << f.name;
        EXPECT_EQ(1, mp3.channels) << f.name;
        EXPECT_EQ(128, mp3.bitRate) << f.name;
        EXPECT_NEAR(f.frames, static_cast<double>(mp3.Frames()), 1152.0) << f.name;
    }
    // "Right track": the stereo source's right channel alone.
    const DecodedMp3 b = DecodeMp3(folder_ + "/out/b.mp3");
    std::vector<double> decoded(b.values.begin(), b.values.end());
    EXPECT_GT(BestCorrelation(Channel(stereo, 2, 1), decoded, 1200, 8192), 0.95);
}

// A stop during a file: "User stop !" at once, "Stop convert! " when the engine has
// ended the file, a shorter MP3 that decodes, no further row, and Start held off until
// the worker has ended; the next Start is a new run.
TEST_F(ConvertDialogTest, StopDuringAFileThenANewRun) {
    WriteSettings(folder_ + "/out/", 3, 0);
    const std::size_t frames = 30 * 44100;
    WriteWav(Path("src/long.wav"), 44100, 2, Sines(44100, frames, {440.0, 660.0}));
    WriteWav(Path("src/short.wav"), 44100, 2, Sines(44100, 4410, {440.0, 660.0}));
    ConvertDialog d(library_, nullptr, &SteppingClock);
    d.show();
    Watch(d);
    AnswerFiles({Path("src/long.wav"), Path("src/short.wav")});
    Click(d, ConvertDialog::kIdAddSources);
    auto* start = Control<QPushButton>(d, ConvertDialog::kIdStart);

    Click(d, ConvertDialog::kIdStart);
    ASSERT_TRUE(WaitForConverting(d));
    Click(d, ConvertDialog::kIdStart);
    EXPECT_EQ("User stop !", Status(d));
    EXPECT_EQ("Start", start->text());
    ASSERT_TRUE(WaitFor([&] { return !d.IsConverting(); }));
    EXPECT_TRUE(start->isEnabled());
    EXPECT_TRUE(start->hasFocus());  // not left on Cancel, which the next Space would press
    EXPECT_EQ("Stop convert! ", Status(d));
    const auto userStop = std::find(statuses_.begin(), statuses_.end(), "User stop !");
    EXPECT_NE(std::find(userStop, statuses_.end(), "Stop convert! "), statuses_.end());
    EXPECT_FALSE(FileExists(folder_ + "/out/short.mp3"));
    const DecodedMp3 stopped = DecodeMp3(folder_ + "/out/long.mp3");
    ASSERT_TRUE(stopped.ok);
    EXPECT_LT(stopped.Frames(), frames - 44100);

    statuses_.clear();
    Click(d, ConvertDialog::kIdStart);
    EXPECT_EQ("Stop", start->text());
    ASSERT_TRUE(WaitFor([&] { return !d.IsConverting(); }));
    EXPECT_TRUE(Status(d).startsWith("Finished . Times:"));
    EXPECT_EQ(QString::fromStdString(folder_ + "/out/long.mp3"), statuses_.front());
    EXPECT_NEAR(static_cast<double>(frames),
                static_cast<double>(DecodeMp3(folder_ + "/out/long.mp3").Frames()), 1152.0);
    EXPECT_TRUE(DecodeMp3(folder_ + "/out/short.mp3").ok);
}

// Cancel, Escape and the close box during a run: each returns only after the worker has
// ended, and the file it was writing is a closed MP3 that decodes.
TEST_F(ConvertDialogTest, ClosingDuringARunWaitsForTheWorker) {
    WriteSettings(folder_ + "/out/", 3, 0);
    const std::size_t frames = 30 * 44100;
    WriteWav(Path("src/long.wav"), 44100, 2, Sines(44100, frames, {440.0, 660.0}));
    AnswerFiles({Path("src/long.wav")});
    for (int way = 0; way < 3; ++way) {
        ConvertDialog d(library_, nullptr, &SteppingClock);
        d.show();
        Click(d, ConvertDialog::kIdAddSources);
        Click(d, ConvertDialog::kIdStart);
        ASSERT_TRUE(WaitForConverting(d)) << way;
        if (way == 0) Click(d, ConvertDialog::kIdCancel);
        if (way == 1) QTest::keyClick(&d, Qt::Key_Escape);
        if (way == 2) d.close();
        EXPECT_FALSE(d.IsConverting()) << way;
        EXPECT_FALSE(d.isVisible()) << way;
        const DecodedMp3 mp3 = DecodeMp3(folder_ + "/out/long.mp3");
        ASSERT_TRUE(mp3.ok) << way;
        EXPECT_LT(mp3.Frames(), frames - 44100) << way;
    }
}

// A clock that parks each converting thread a few chunks into its file while the gate is
// closed, so a test can act while every job is known to be mid-file.
std::atomic<bool> gateClosed{false};
std::atomic<int> parked{0};
std::uint32_t GatedClock() {
    thread_local int calls = 0;
    if (gateClosed.load() && ++calls > 4) {
        ++parked;
        while (gateClosed.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        --parked;
    }
    return SteppingClock();
}

// Three files at once: all three run together, Stop ends every one of them (each a
// shorter MP3 that decodes, no fourth row started); a full run then gives the same
// bytes as a run of one file at a time, and the bar ends full.
TEST_F(ConvertDialogTest, ThreeJobsStopTogetherAndMatchOneJobByteForByte) {
    WriteSettings(folder_ + "/out/", 3, 0, 3);
    const std::size_t frames = 30 * 44100;
    for (const char* name : {"src/a.wav", "src/b.wav", "src/c.wav"})
        WriteWav(Path(name), 44100, 2, Sines(44100, frames, {440.0, 660.0}));
    WriteWav(Path("src/d.wav"), 44100, 2, Sines(44100, 4410, {330.0, 550.0}));
    const std::vector<std::string> sources = {Path("src/a.wav"), Path("src/b.wav"),
                                              Path("src/c.wav"), Path("src/d.wav")};
    {
        ConvertDialog d(library_, nullptr, &GatedClock);
        d.show();
        Watch(d);
        AnswerFiles(sources);
        Click(d, ConvertDialog::kIdAddSources);
        gateClosed = true;
        Click(d, ConvertDialog::kIdStart);
        // All three first rows are mid-file together before Stop.
        const bool allParked = WaitFor([&] { return parked.load() == 3; });
        Click(d, ConvertDialog::kIdStart);
        gateClosed = false;
        ASSERT_TRUE(allParked);
        ASSERT_TRUE(WaitFor([&] { return !d.IsConverting(); }));
        EXPECT_EQ(3, std::count_if(statuses_.begin(), statuses_.end(),
                                   [](const QString& t) { return t.endsWith(".mp3"); }));
        EXPECT_EQ(3, std::count(statuses_.begin(), statuses_.end(), "Stop convert! "));
        for (const char* name : {"a.mp3", "b.mp3", "c.mp3"}) {
            const DecodedMp3 mp3 = DecodeMp3(folder_ + "/out/" + name);
            ASSERT_TRUE(mp3.ok) << name;
            EXPECT_LT(mp3.Frames(), frames - 44100) << name;
        }
        EXPECT_FALSE(FileExists(folder_ + "/out/d.mp3"));
    }
    auto runAll = [&](int jobs, const std::string& out) {
        WriteSettings(out, 3, 0, jobs);
        ConvertDialog d(library_, nullptr, &SteppingClock);
        AnswerFiles(sources);
        Click(d, ConvertDialog::kIdAddSources);
        Click(d, ConvertDialog::kIdStart);
        EXPECT_TRUE(WaitFor([&] { return !d.IsConverting(); }));
        EXPECT_EQ(100, BarPosition(d));
    };
    ASSERT_EQ(0, mkdir(Path("one").c_str(), 0700));
    ASSERT_EQ(0, mkdir(Path("three").c_str(), 0700));
    runAll(1, Path("one/"));
    runAll(3, Path("three/"));
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3", "d.mp3"}) {
        const std::string one = ReadBytes(Path("one/") + name);
        EXPECT_FALSE(one.empty()) << name;
        EXPECT_TRUE(one == ReadBytes(Path("three/") + name)) << name;
    }
}

}  // namespace

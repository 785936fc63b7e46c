// trackmill --rip wav|mp3 [--disc FILE] [--out DIR] [--tracks LIST]
//
// Rips rows of the disc's track list with the rip engine, driving it the way the
// rip dialog does: SetOutput, StartTrack for a row, and on WM_RIP_TRACK_DONE
// EndTrack and the next row. A small window object stands in for the dialog: its
// control 1023 takes the PBX_* progress messages and draws a bar on the terminal,
// its control 1029 takes the file name through its "text" property. Exit status:
// 0 when every track succeeded, 1 when any failed, 2 on a usage error or no drive.
#include <unistd.h>

#include <QCoreApplication>
#include <QDynamicPropertyChangeEvent>
#include <QTimer>
#include <QVariant>
#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cd/DiscSession.h"
#include "cli/Commands.h"
#include "core/Messages.h"
#include "core/Settings.h"
#include "platform/Paths.h"
#include "platform/WindowMessages.h"
#include "rip/RipEngine.h"

namespace cli {

using namespace cd;
using namespace rip;
using namespace core;

namespace {

std::atomic<bool> g_interrupted{false};
void OnInterrupt(int) {
    g_interrupted = true;
}

void Usage(const char* why) {
    std::fprintf(stderr, "trackmill: --rip: %s\n", why);
    std::fprintf(stderr,
                 "usage: trackmill --rip wav|mp3 [--disc FILE] [--out DIR] [--tracks LIST]\n"
                 "       LIST: row numbers as --list prints them, e.g. 1,3-5\n");
}

// Parses "1,3-5" into 0-based row indexes, in the order given, each once. False
// for an empty piece, a bad number or a row outside 1..rowCount.
bool ParseRowList(const std::string& text, int rowCount, std::vector<int>& rows,
                  std::string& error) {
    rows.clear();
    std::size_t pos = 0;
    while (pos <= text.size()) {
        const std::size_t comma = std::min(text.find(',', pos), text.size());
        const std::string piece = text.substr(pos, comma - pos);
        pos = comma + 1;
        const std::size_t dash = piece.find('-');
        auto number = [&](const std::string& s, int& out) {
            if (s.empty() || s.size() > 6 || s.find_first_not_of("0123456789") != std::string::npos)
                return false;
            out = std::stoi(s);
            return out >= 1 && out <= rowCount;
        };
        int first = 0, last = 0;
        const bool ok = dash == std::string::npos
                            ? number(piece, first) && number(piece, last)
                            : number(piece.substr(0, dash), first) &&
                                  number(piece.substr(dash + 1), last) && first <= last;
        if (!ok) {
            error = "bad row list '" + text + "' (rows are 1 to " + std::to_string(rowCount) + ")";
            return false;
        }
        for (int r = first; r <= last; ++r)
            if (std::find(rows.begin(), rows.end(), r - 1) == rows.end()) rows.push_back(r - 1);
    }
    return true;
}

// Control 1023: a percent bar drawn on the terminal.
class TerminalBar : public QObject {
  public:
    explicit TerminalBar(QObject* parent) : QObject(parent), tty_(isatty(STDOUT_FILENO) != 0) {
        platform::SetControlId(this, core::kRipProgressControl);
    }
    void SetLabel(const std::string& label) { label_ = label; }
    std::uint64_t Position() const { return position_; }
    std::uint64_t Range() const { return range_; }

    bool event(QEvent* e) override {
        if (!platform::IsWindowMessage(e)) return QObject::event(e);
        auto* m = static_cast<platform::WindowMessageEvent*>(e);
        switch (m->message()) {
            case core::PBX_SETRANGE:
                range_ = m->wParam;
                position_ = std::min(position_, range_);
                break;
            case core::PBX_SETPOS:
                position_ = m->wParam;
                break;
            case core::PBX_DELTAPOS:
                position_ = std::min(position_ + m->wParam, range_);
                break;
            case core::PBX_GETRANGE:
                m->result = static_cast<platform::LParam>(range_);
                return true;
            case core::PBX_GETPOS:
                m->result = static_cast<platform::LParam>(position_);
                return true;
            default:
                return QObject::event(e);
        }
        Draw();
        return true;
    }

  private:
    void Draw() {
        if (!tty_) return;
        const std::uint64_t perMille = range_ ? position_ * 1000 / range_ : 0;
        if (perMille == lastDrawn_) return;
        lastDrawn_ = perMille;
        constexpr int kWidth = 30;
        std::string bar(kWidth, '-');
        for (std::uint64_t i = 0; i < perMille * kWidth / 1000; ++i) bar[i] = '#';
        std::printf("\r  %-20s [%s] %5.1f%%", label_.c_str(), bar.c_str(), perMille / 10.0);
        std::fflush(stdout);
    }

    const bool tty_;
    std::string label_;
    std::uint64_t range_ = 100, position_ = 0, lastDrawn_ = ~std::uint64_t{0};
};

// Control 1029: the file name text, set through its "text" property.
class StatusText : public QObject {
  public:
    StatusText(QObject* parent, TerminalBar* bar) : QObject(parent), bar_(bar) {
        platform::SetControlId(this, core::kRipFileNameControl);
    }
    bool event(QEvent* e) override {
        if (e->type() == QEvent::DynamicPropertyChange &&
            static_cast<QDynamicPropertyChangeEvent*>(e)->propertyName() == "text")
            bar_->SetLabel(property("text").toString().toStdString());
        return QObject::event(e);
    }

  private:
    TerminalBar* bar_;
};

// The dialog stand-in: runs the rows one after another.
class RipBatch : public QObject {
  public:
    RipBatch(RipEngine& engine, const DiscState& disc, std::vector<int> rows)
        : engine_(engine), disc_(disc), rows_(std::move(rows)) {
        bar_ = new TerminalBar(this);
        new StatusText(this, bar_);
    }

    void StartNext() {
        if (g_interrupted || next_ >= rows_.size()) {
            QCoreApplication::quit();
            return;
        }
        current_ = rows_[next_++];
        entry_ = disc_.table[static_cast<std::size_t>(current_)];  // outlives the track
        engine_.StartTrack(platform::WindowHandleOf(this), current_, &entry_);
    }

    bool event(QEvent* e) override {
        if (platform::IsWindowMessage(e) &&
            static_cast<platform::WindowMessageEvent*>(e)->message() == core::WM_RIP_TRACK_DONE) {
            engine_.EndTrack();
            Report();
            StartNext();
            return true;
        }
        return QObject::event(e);
    }

    void PollInterrupt() {
        if (g_interrupted && !stopSent_) {
            stopSent_ = true;
            engine_.Stop();
        }
    }

    int failures() const { return failures_; }
    int done() const { return done_; }

  private:
    void Report() {
        const std::int32_t reason = engine_.LastEndReason();
        const std::string name = entry_.name;
        if (isatty(STDOUT_FILENO)) std::printf("\r%70s\r", "");
        if (reason == kEndRunning) {
            ++done_;
            std::printf("  %-20s ok  %s\n", name.c_str(), engine_.LastOutputPath().c_str());
        } else {
            ++failures_;
            std::printf("  %-20s FAILED: %s\n", name.c_str(), EndReasonText(reason));
            failedNames_.push_back(name);
        }
        std::fflush(stdout);
    }

    RipEngine& engine_;
    const DiscState& disc_;
    std::vector<int> rows_;
    std::size_t next_ = 0;
    int current_ = -1;
    TrackEntry entry_{};
    TerminalBar* bar_ = nullptr;
    bool stopSent_ = false;
    int failures_ = 0, done_ = 0;

  public:
    std::vector<std::string> failedNames_;
};

}  // namespace

int RunRipCommand(const std::vector<std::string>& args) {
    std::string format, outDir, trackList;
    bool haveOut = false, haveTracks = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) return false;
            out = args[++i];
            return true;
        };
        std::string ignored;
        if (a == "--rip") {
            if (!value(format) || (format != "wav" && format != "mp3")) {
                Usage("the format must be wav or mp3");
                return 2;
            }
        } else if (a == "--disc") {
            if (!value(ignored)) return Usage("--disc needs a file"), 2;
        } else if (a == "--out") {
            if (!value(outDir)) return Usage("--out needs a folder"), 2;
            haveOut = true;
        } else if (a == "--tracks") {
            if (!value(trackList)) return Usage("--tracks needs a row list"), 2;
            haveTracks = true;
        } else {
            Usage(("unexpected argument '" + a + "'").c_str());
            return 2;
        }
    }

    // The output folder: --out, else the "output" setting, else the music folder.
    namespace fs = std::filesystem;
    if (!haveOut) {
        outDir = ReadOutputSetting();
        if (outDir.empty()) {
            outDir = platform::DefaultMusicFolder();
            std::error_code ec;
            fs::create_directories(outDir, ec);
        }
    }
    std::error_code ec;
    if (outDir.empty() || !fs::is_directory(outDir, ec)) {
        std::fprintf(stderr, "trackmill: --rip: the output folder '%s' does not exist\n",
                     outDir.c_str());
        return 2;
    }
    if (outDir.size() >= sizeof(RipOptions::folder)) {
        std::fprintf(stderr,
                     "trackmill: --rip: the output folder's path is longer than %zu bytes\n",
                     sizeof(RipOptions::folder) - 1);
        return 2;
    }

    DiscState disc;
    std::string error;
    if (!OpenDisc(args, disc, error)) {
        std::fprintf(stderr, "trackmill: %s\n", error.c_str());
        return 2;
    }
    const int rowCount = static_cast<int>(disc.rows.size());
    std::vector<int> rows;
    if (haveTracks) {
        if (!ParseRowList(trackList, rowCount, rows, error)) {
            std::fprintf(stderr, "trackmill: --rip: %s\n", error.c_str());
            CloseDisc(disc);
            return 2;
        }
    } else {
        for (int r = 0; r < rowCount; ++r) rows.push_back(r);
    }
    // Data rows hold no audio: they are left out, and said so when asked for.
    std::vector<int> audioRows;
    for (int r : rows) {
        if (disc.table[static_cast<std::size_t>(r)].isData) {
            if (haveTracks)
                std::printf("  row %d (%s) skipped: a data track holds no audio\n", r + 1,
                            disc.table[static_cast<std::size_t>(r)].name);
            continue;
        }
        audioRows.push_back(r);
    }

    int argc = 1;
    char programName[] = "trackmill";
    char* argv[] = {programName, nullptr};
    std::unique_ptr<QCoreApplication> app;
    if (!QCoreApplication::instance()) app = std::make_unique<QCoreApplication>(argc, argv);

    int status;
    {
        RipEngine engine(disc.handle);
        if (format == "mp3" && !RipEngine::Mp3Available()) {
            std::fprintf(stderr,
                         "trackmill: --rip: MP3 output needs the encoder module %s, which was not "
                         "found beside the program or on the library path\n",
                         platform::ModuleFileName("LAME_ENC.DLL").c_str());
            CloseDisc(disc);
            return 2;
        }
        RipOptions options;
        options.rateIndex = ReadRateSetting();
        options.channelIndex = ReadChannelSetting();
        options.formatIndex = format == "mp3" ? 0 : 1;
        std::snprintf(options.folder, sizeof options.folder, "%s", outDir.c_str());
        engine.SetOutput(options);

        std::printf("Ripping %zu track(s) from %s to %s as %s\n", audioRows.size(),
                    disc.driveName.c_str(), outDir.c_str(), format.c_str());
        std::fflush(stdout);
        RipBatch batch(engine, disc, audioRows);
        g_interrupted = false;
        auto previous = std::signal(SIGINT, OnInterrupt);
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &batch, [&batch] { batch.PollInterrupt(); });
        poll.start(100);
        QTimer::singleShot(0, &batch, [&batch] { batch.StartNext(); });
        QCoreApplication::exec();
        poll.stop();
        std::signal(SIGINT, previous);

        std::printf("%d of %zu track(s) ripped", batch.done(), audioRows.size());
        if (batch.failures() > 0) {
            std::printf("; failed:");
            for (const std::string& n : batch.failedNames_) std::printf(" %s;", n.c_str());
        }
        if (g_interrupted) std::printf(" (interrupted)");
        std::printf("\n");
        status = (batch.failures() > 0 || g_interrupted) ? 1 : 0;
    }
    CloseDisc(disc);
    return status;
}

}  // namespace cli

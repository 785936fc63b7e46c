// trackmill --rip wav|mp3|flac [--disc FILE] [--out DIR] [--tracks LIST] [--verify]
//                          [--offset N] [--accuraterip]
//
// Rips rows of the disc's track list with the rip engine, driving it the way the
// rip dialog does: SetOutput, StartTrack for a row, and on WM_RIP_TRACK_DONE
// EndTrack and the next row. A small window object stands in for the dialog: its
// control 1023 takes the PBX_* progress messages and draws a bar on the terminal,
// its control 1029 takes the file name through its "text" property. A track that
// fails is named with its cause; a disc or row list with no audio track to rip is
// refused (exit status 2). After the batch the tracks are looked up in AccurateRip
// when asked, and the rip log is written into the output folder.
#include <QCoreApplication>
#include <QDynamicPropertyChangeEvent>
#include <QTimer>
#include <QVariant>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cd/DiscSession.h"
#include "cli/Application.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/Interrupt.h"
#include "cli/OutputFolder.h"
#include "cli/TerminalBar.h"
#include "core/Messages.h"
#include "core/Settings.h"
#include "platform/Modules.h"
#include "platform/WindowMessages.h"
#include "rip/RipEngine.h"
#include "rip/RipLog.h"

namespace cli {

using namespace cd;
using namespace rip;
using namespace core;

namespace {

// Control 1023: a percent bar drawn on the terminal.
class ProgressControl : public QObject {
  public:
    explicit ProgressControl(QObject* parent) : QObject(parent) {
        platform::SetControlId(this, core::kRipProgressControl);
    }
    void SetLabel(const std::string& label) { label_ = label; }
    void Clear() { bar_.Clear(); }

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
        bar_.Draw(label_, position_, range_);
        return true;
    }

  private:
    TerminalBar bar_;
    std::string label_;
    std::uint64_t range_ = 100, position_ = 0;
};

// Control 1029: the file name text, set through its "text" property.
class StatusText : public QObject {
  public:
    StatusText(QObject* parent, ProgressControl* bar) : QObject(parent), bar_(bar) {
        platform::SetControlId(this, core::kRipFileNameControl);
    }
    bool event(QEvent* e) override {
        if (e->type() == QEvent::DynamicPropertyChange &&
            static_cast<QDynamicPropertyChangeEvent*>(e)->propertyName() == "text")
            bar_->SetLabel(property("text").toString().toStdString());
        return QObject::event(e);
    }

  private:
    ProgressControl* bar_;
};

// While it lives, exceeding a file-size limit fails the write (EFBIG), as a full disk
// does, instead of ending the process with SIGXFSZ and its files half written.
class FileSizeSignalIgnored {
  public:
    FileSizeSignalIgnored() {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        sigaction(SIGXFSZ, &ignore, &previous_);
    }
    ~FileSizeSignalIgnored() { sigaction(SIGXFSZ, &previous_, nullptr); }
    FileSizeSignalIgnored(const FileSizeSignalIgnored&) = delete;
    FileSizeSignalIgnored& operator=(const FileSizeSignalIgnored&) = delete;

  private:
    struct sigaction previous_ {};
};

// The dialog stand-in: runs the rows one after another.
class RipBatch : public QObject {
  public:
    RipBatch(RipEngine& engine, const DiscState& disc, std::vector<int> rows)
        : engine_(engine), disc_(disc), rows_(std::move(rows)) {
        bar_ = new ProgressControl(this);
        new StatusText(this, bar_);
    }

    void StartNext() {
        if (InterruptGuard::Requested() || next_ >= rows_.size()) {
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
        if (InterruptGuard::Requested() && !stopSent_) {
            stopSent_ = true;
            engine_.Stop();
        }
    }

    int failures() const { return failures_; }
    int suspicious() const { return suspicious_; }
    int done() const { return done_; }

  private:
    void Report() {
        const std::int32_t reason = engine_.LastEndReason();
        const std::string name = entry_.name;
        bar_->Clear();
        if (reason == kEndRunning && engine_.LastProof().suspicious) {
            ++suspicious_;
            std::printf("  %-20s SUSPICIOUS: the test and copy passes differ  %s\n", name.c_str(),
                        engine_.LastOutputPath().c_str());
            suspiciousNames_.push_back(name);
        } else if (reason == kEndRunning) {
            ++done_;
            std::error_code ec;
            if (std::filesystem::exists(engine_.LastOutputPath(), ec))
                std::printf("  %-20s ok  %s\n", name.c_str(), engine_.LastOutputPath().c_str());
            else
                std::printf("  %-20s ok  (the track holds no audio: no file)\n", name.c_str());
        } else {
            ++failures_;
            std::string why = EndReasonText(reason);
            if (!engine_.LastOutputProblem().empty())
                why += " (" + engine_.LastOutputProblem() + ")";
            if (reason == kEndStopped || reason == kEndReadError) {
                std::error_code ec;
                why += std::filesystem::exists(engine_.LastOutputPath(), ec)
                           ? "; the part ripped is in " + engine_.LastOutputPath()
                           : "; nothing was ripped";
            }
            std::printf("  %-20s FAILED: %s\n", name.c_str(), why.c_str());
            failedNames_.push_back(name);
            failedReasons_.push_back(why);
        }
        std::fflush(stdout);
    }

    RipEngine& engine_;
    const DiscState& disc_;
    std::vector<int> rows_;
    std::size_t next_ = 0;
    int current_ = -1;
    TrackEntry entry_{};
    ProgressControl* bar_ = nullptr;
    bool stopSent_ = false;
    int failures_ = 0, done_ = 0, suspicious_ = 0;

  public:
    std::vector<std::string> failedNames_, suspiciousNames_;
    std::vector<std::string> failedReasons_;
};

}  // namespace

int RunRipCommand(const std::vector<std::string>& args) {
    CommandLine line;
    std::string error;
    if (!ParseCommandLine(args, line, error)) return UsageError(error);
    if (line.command != Command::Rip) return UsageError("--rip expected");

    // The read offset: --offset, else the "offset" setting.
    const int offset = line.haveOffset ? line.offset : core::ReadOffsetSetting();
    if (offset < -RipEngine::kMaxReadOffset || offset > RipEngine::kMaxReadOffset)
        return UsageError("--rip: the \"offset\" setting " + std::to_string(offset) +
                          " is out of range (-" + std::to_string(RipEngine::kMaxReadOffset) +
                          " to " + std::to_string(RipEngine::kMaxReadOffset) + ")");

    std::string outDir;
    if (!PrepareOutputFolder(line, outDir, error)) {
        PrintError("--rip: " + error);
        return kExitFailed;
    }
    if (outDir.size() >= sizeof(RipOptions::folder)) {
        PrintError("--rip: the output folder's path is longer than " +
                   std::to_string(sizeof(RipOptions::folder) - 1) + " bytes");
        return kExitFailed;
    }

    DiscState disc;
    if (!OpenDisc(DiscArguments(line), disc, error)) {
        PrintError(error);
        return kExitUsage;
    }
    const int rowCount = static_cast<int>(disc.rows.size());
    std::vector<int> rows;
    if (line.haveTracks) {
        if (!ParseRowList(line.tracks, rowCount, rows, error)) {
            CloseDisc(disc);
            return UsageError("--rip: " + error);
        }
    } else {
        for (int r = 0; r < rowCount; ++r) rows.push_back(r);
    }
    // Data rows hold no audio: they are left out, and said so when asked for.
    std::vector<int> audioRows;
    for (int r : rows) {
        if (disc.table[static_cast<std::size_t>(r)].isData) {
            if (line.haveTracks)
                std::printf("  row %d (%s) skipped: a data track holds no audio\n", r + 1,
                            disc.table[static_cast<std::size_t>(r)].name);
            continue;
        }
        audioRows.push_back(r);
    }
    if (audioRows.empty()) {
        CloseDisc(disc);
        PrintError(std::string("--rip: nothing to rip: ") +
                   (line.haveTracks ? "the rows asked for are data tracks, which hold no audio"
                                    : "the disc has no audio track"));
        return kExitUsage;
    }

    const auto app = ApplicationIfNone();

    int status;
    {
        RipEngine engine(disc.handle);
        const encode::FormatInfo& format = encode::InfoOf(line.format);
        if (!format.available()) {
            PrintError("--rip: MP3 output needs the encoder module " +
                       platform::ModuleFileName("LAME_ENC.DLL") +
                       ", which was not found beside the program, in ../lib/trackmill or on "
                       "the library path");
            CloseDisc(disc);
            return kExitFailed;
        }
        RipOptions options;
        options.rateIndex = line.rateIndex >= 0 ? line.rateIndex : core::ReadRateSetting();
        options.channelIndex =
            line.channelIndex >= 0 ? line.channelIndex : core::ReadChannelSetting();
        options.format = line.format;
        options.flacLevel = core::ReadFlacSetting();
        std::snprintf(options.folder, sizeof options.folder, "%s", outDir.c_str());
        engine.SetOutput(options);
        engine.SetReadOffset(offset);
        engine.SetVerify(line.verify);

        std::string as = format.name;
        if (line.format == encode::Format::Flac)
            as += " at level " + std::to_string(engine.FlacLevel());
        if (format.rateAndChannels) {
            static const char* const kChannelNames[] = {"stereo", "left channel as mono",
                                                        "right channel as mono",
                                                        "both channels mixed as mono"};
            as += " at " + std::to_string(engine.Mp3Bitrate()) + " kbit/s or more, " +
                  kChannelNames[static_cast<int>(engine.Mp3Channel())];
        }
        std::printf("Ripping %zu track(s) from %s to %s as %s\n", audioRows.size(),
                    disc.driveName.c_str(), outDir.c_str(), as.c_str());
        if (const std::uint32_t hidden = cd::HiddenAudioFrames(disc.handle))
            std::printf("  hidden audio before track 1: %u frames (not ripped)\n", hidden);
        std::fflush(stdout);
        RipBatch batch(engine, disc, audioRows);
        InterruptGuard interrupt;
        FileSizeSignalIgnored fileSizeLimit;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &batch, [&batch] { batch.PollInterrupt(); });
        poll.start(100);
        QTimer::singleShot(0, &batch, [&batch] { batch.StartNext(); });
        QCoreApplication::exec();
        poll.stop();

        BatchInfo info;
        info.drive = disc.driveName;
        info.folder = outDir;
        info.format = line.format;
        info.readOffset = offset;
        info.verify = line.verify;
        info.accurateRip = line.accurateRip;
        info.when = std::time(nullptr);
        std::string logError;
        // Ctrl+C also ends a lookup that is still waiting for the network.
        const std::string logPath =
            FinishBatch(engine, info, logError, [] { return InterruptGuard::Requested(); });
        for (const TrackRecord& t : engine.BatchRecords())
            if (!t.accurateRip.empty())
                std::printf("  %-20s AccurateRip: %s\n", t.entry.name, t.accurateRip.c_str());
        if (!logPath.empty()) std::printf("Rip log: %s\n", logPath.c_str());

        std::printf("%d of %zu track(s) ripped", batch.done(), audioRows.size());
        if (batch.suspicious() > 0) std::printf("; %d suspicious", batch.suspicious());
        if (batch.failures() > 0) {
            std::printf("; failed:");
            for (const std::string& n : batch.failedNames_) std::printf(" %s;", n.c_str());
        }
        if (InterruptGuard::Requested()) std::printf(" (interrupted)");
        std::printf("\n");
        std::fflush(stdout);
        for (std::size_t i = 0; i < batch.failedNames_.size(); ++i)
            PrintError("--rip: " + batch.failedNames_[i] + " failed: " + batch.failedReasons_[i]);
        for (const std::string& n : batch.suspiciousNames_)
            PrintError("--rip: " + n + " is suspicious: its test and copy passes differ");
        if (logPath.empty()) PrintError("--rip: " + logError);
        if (InterruptGuard::Requested()) PrintError("--rip: interrupted");
        status = (batch.failures() > 0 || batch.suspicious() > 0 || logPath.empty() ||
                  InterruptGuard::Requested())
                     ? kExitFailed
                     : kExitOk;
    }
    CloseDisc(disc);
    return status;
}

}  // namespace cli

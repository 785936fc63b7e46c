// trackmill --rip wav|mp3|flac [--disc FILE] [--out DIR] [--tracks LIST] [--verify]
//                          [--offset N] [--accuraterip] [--ctdb]
//
// Rips rows of the disc's track list with the rip engine through the batch runner
// the rip dialog uses (rip::RipBatch). The terminal's observer draws the engine's
// progress as a bar labelled with the file name, brings each track's end to the
// main thread, where the batch goes on, and prints each track's outcome. A track
// that fails is named with its cause; a disc or row list with no audio track to rip is
// refused (exit status 2). After the batch the tracks are looked up in AccurateRip
// and the disc in the CTDB when asked, and the rip log is written into the output
// folder.
#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cd/DiscSession.h"
#include "cli/Application.h"
#include "cli/CommandLine.h"
#include "cli/CommandNames.h"
#include "cli/Commands.h"
#include "cli/Interrupt.h"
#include "cli/OutputFolder.h"
#include "cli/TerminalBar.h"
#include "core/Settings.h"
#include "names/RipFiles.h"
#include "platform/Modules.h"
#include "platform/WindowMessages.h"
#include "rip/RipBatch.h"
#include "rip/RipEngine.h"
#include "rip/RipLog.h"
#include "rip/RipObserver.h"

namespace cli {

using namespace cd;
using namespace rip;
using namespace core;

namespace {

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

// The rows asked for, in the order asked.
class RowList : public BatchRows {
  public:
    RowList(const DiscState& disc, std::vector<int> rows) : disc_(disc), rows_(std::move(rows)) {}
    int Count() const override { return static_cast<int>(rows_.size()); }
    bool Wanted(int) const override { return !InterruptGuard::Requested(); }
    Track TrackAt(int position) const override {
        const auto row = static_cast<std::size_t>(rows_[static_cast<std::size_t>(position)]);
        return TrackOfRow(disc_.table[row], disc_.rows[row]);
    }

  private:
    const DiscState& disc_;
    std::vector<int> rows_;
};

// The terminal's observer: draws the bar, prints each track's outcome, and runs the
// batch on the main thread, quitting the event loop when it is over.
class TerminalRip : public QObject, public RipObserver {
  public:
    TerminalRip(RipEngine& engine, const DiscState& disc, std::vector<int> rows)
        : rows_(disc, std::move(rows)), batch_(engine, rows_, *this) {
        batch_.SetStopFails(true);
    }

    void Start() {
        batch_.Begin();
        if (!batch_.StartNext()) QCoreApplication::quit();
    }
    void PollInterrupt() {
        if (InterruptGuard::Requested() && !stopSent_) {
            stopSent_ = true;
            batch_.Stop();
        }
    }
    RipBatch& Batch() { return batch_; }

    // On the main thread (StartTrack's).
    void TrackFile(const std::string& fileName) override { label_ = fileName; }
    void TrackBegun(std::uint64_t totalBytes) override {
        range_ = totalBytes;
        bar_.Draw(label_, 0, range_);
    }
    // On the reader or writer thread: drawn on the main thread.
    void TrackProgress(std::uint64_t doneBytes, std::uint64_t totalBytes) override {
        platform::PostCall(this, [this, doneBytes, totalBytes] {
            bar_.Draw(label_, std::min(doneBytes, totalBytes), totalBytes, EncodingText());
        });
    }
    // On the writer or an encoder worker's thread: the bar says it with its next draw.
    void TracksEncoding(int count) override { encoding_.store(count); }
    std::string EncodingText() const {
        const int n = encoding_.load();
        return n > 0 ? "  " + std::to_string(n) + " encoding" : std::string();
    }
    // After the disc read, while encoder workers still run: the bar counts them down
    // (Ctrl+C stops them), then the batch's counts take their outcomes.
    void FinishEncoding() {
        if (batch_.TracksEncoding() > 0) {
            std::printf("All tracks read; %d still encoding\n", batch_.TracksEncoding());
            std::fflush(stdout);
        }
        while (batch_.TracksEncoding() > 0) {
            PollInterrupt();
            const int n = batch_.TracksEncoding();
            bar_.Draw("Encoding: " + std::to_string(n) + " track(s) left", 0, 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        bar_.Clear();
        batch_.FinishEncoding();
        // Encoded tracks are told once their files are settled, in track order.
        for (const TrackRecord& t : deferredLines_) PrintRecord(Settled(t));
        deferredLines_.clear();
    }
    void TrackEnded(std::int32_t) override {
        platform::PostCall(this, [this] {
            batch_.TrackDone();
            if (!batch_.StartNext()) QCoreApplication::quit();
        });
    }
    // On the main thread, from TrackDone: the track's line, or, for a track still to
    // be encoded (and every later one, to keep them in order), its place in the list
    // printed when the encoding is over.
    void TrackRecorded(const TrackRecord& t) override {
        if (t.encoding || !deferredLines_.empty()) {
            deferredLines_.push_back(t);
            return;
        }
        PrintRecord(t);
    }

    std::vector<std::string> failedReasons_;

  private:
    // The engine's record of `t` (the same track), now holding its encoding's outcome.
    const TrackRecord& Settled(const TrackRecord& t) const {
        for (const TrackRecord& r : batch_.Engine().BatchRecords())
            if (r.title == t.title && r.number == t.number && r.entry.startLba == t.entry.startLba)
                return r;
        return t;
    }
    void PrintRecord(const TrackRecord& t) {
        bar_.Clear();
        const std::string& name = t.title;
        std::error_code ec;
        const bool file = std::filesystem::exists(t.outputPath, ec);
        if (t.endReason == kEndRunning && t.proof.suspicious) {
            std::printf("  %-20s SUSPICIOUS: the test and copy passes differ  %s\n", name.c_str(),
                        t.outputPath.c_str());
        } else if (t.endReason == kEndRunning) {
            if (file)
                std::printf("  %-20s ok  %s\n", name.c_str(), t.outputPath.c_str());
            else
                std::printf("  %-20s ok  (the track holds no audio: no file)\n", name.c_str());
        } else {
            std::string why = EndReasonText(t.endReason);
            if (!t.outputProblem.empty()) why += " (" + t.outputProblem + ")";
            if (t.endReason == kEndStopped || t.endReason == kEndReadError)
                why += file ? "; the part ripped is in " + t.outputPath : "; nothing was ripped";
            std::printf("  %-20s FAILED: %s\n", name.c_str(), why.c_str());
            failedReasons_.push_back(name + " failed: " + why);
        }
        std::fflush(stdout);
    }

    RowList rows_;
    TerminalBar bar_;
    std::string label_;
    std::uint64_t range_ = 0;
    bool stopSent_ = false;
    std::atomic<int> encoding_{0};
    std::vector<TrackRecord> deferredLines_;
    RipBatch batch_;  // last: a track it still holds ends while the rest is here
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
    if (!PrepareOutputFolder(line, outDir, error, sizeof(RipOptions::folder) - 1)) {
        PrintError("--rip: " + error);
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
        PrintError(std::string("--rip: nothing to rip: ") +
                   (line.haveTracks ? "the rows asked for are data tracks, which hold no audio"
                                    : "the disc has no audio track"));
        return kExitUsage;
    }

    const auto app = ApplicationIfNone();

    // The names come before the rip and never stop it: nothing found is "Track N".
    bool interrupted = false;
    const names::NamesAnswer found = FindNamesForCommand(disc.handle, line, interrupted);
    if (interrupted) {
        PrintError("--rip: interrupted");
        return kExitFailed;
    }
    // A row's track takes its title from the names (files and log entries go by it).
    for (std::size_t r = 0; r < disc.rows.size(); ++r)
        if (!disc.table[r].isData)
            disc.rows[r].title =
                names::RowTitle(found.names, disc.rows[r].trackNumber, disc.rows[r].title);
    std::vector<std::string> namesLog;
    for (const std::string& note : found.log) namesLog.push_back("names lookup: " + note);
    namesLog.push_back(names::NamesSourceLine(found.names));

    int status;
    {
        RipEngine engine(disc.handle);
        const encode::FormatInfo& format = encode::InfoOf(line.format);
        if (!format.available()) {
            PrintError("--rip: MP3 output needs the encoder module " +
                       platform::ModuleFileName("LAME_ENC.DLL") +
                       ", which was not found beside the program, in ../lib/trackmill or on "
                       "the library path");
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
        engine.SetTrackFiles(
            names::RipFilesFor(found.names, names::ReadRipFileSettings(line.naming)));
        engine.SetReadOffset(offset);
        engine.SetVerify(line.verify);
        engine.SetReplayGain(core::ReadReplayGainSetting());
        engine.SetJobs(line.jobs > 0 ? line.jobs : core::ReadJobsSetting());

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
        for (const std::string& l : namesLog) std::printf("  %s\n", l.c_str());
        std::fflush(stdout);
        TerminalRip rip(engine, disc, audioRows);
        RipBatch& batch = rip.Batch();
        InterruptGuard interrupt;
        FileSizeSignalIgnored fileSizeLimit;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &rip, [&rip] { rip.PollInterrupt(); });
        poll.start(100);
        QTimer::singleShot(0, &rip, [&rip] { rip.Start(); });
        QCoreApplication::exec();
        poll.stop();
        rip.FinishEncoding();

        BatchInfo info;
        info.drive = disc.driveName;
        info.folder = outDir;
        info.format = line.format;
        info.readOffset = offset;
        info.verify = line.verify;
        info.accurateRip = line.accurateRip;
        info.ctdb = line.ctdb;
        info.when = std::time(nullptr);
        info.names = namesLog;
        info.cueNames = names::CueNamesFor(found.names);
        std::string logError;
        // Ctrl+C also ends a lookup that is still waiting for the network.
        const std::string logPath =
            batch.WriteLog(info, logError, [] { return InterruptGuard::Requested(); });
        for (const TrackRecord& t : engine.BatchRecords())
            if (!t.accurateRip.empty())
                std::printf("  %-20s AccurateRip: %s\n", t.title.c_str(), t.accurateRip.c_str());
        if (!info.ctdbDisc.empty()) std::printf("  CTDB: %s\n", info.ctdbDisc.c_str());
        for (const TrackRecord& t : engine.BatchRecords())
            if (!t.ctdb.empty()) std::printf("  %-20s CTDB: %s\n", t.title.c_str(), t.ctdb.c_str());
        if (const std::string hidden = batch.HiddenAudioText(); !hidden.empty())
            std::printf("  hidden audio before track 1: %s\n", hidden.c_str());
        if (!logPath.empty()) std::printf("Rip log: %s\n", logPath.c_str());

        const std::vector<std::string>& failed = batch.Failed();
        const std::vector<std::string>& suspicious = batch.Suspicious();
        std::printf("%d of %zu track(s) ripped", batch.Ripped(),
                    audioRows.size() + (batch.HiddenTrackStarted() ? 1 : 0));
        if (!suspicious.empty()) std::printf("; %zu suspicious", suspicious.size());
        if (!failed.empty()) {
            std::printf("; failed:");
            for (const std::string& n : failed) std::printf(" %s;", n.c_str());
        }
        if (InterruptGuard::Requested()) std::printf(" (interrupted)");
        std::printf("\n");
        std::fflush(stdout);
        for (const std::string& why : rip.failedReasons_) PrintError("--rip: " + why);
        for (const std::string& n : suspicious)
            PrintError("--rip: " + n + " is suspicious: its test and copy passes differ");
        if (logPath.empty()) PrintError("--rip: " + logError);
        if (InterruptGuard::Requested()) PrintError("--rip: interrupted");
        status = (!failed.empty() || !suspicious.empty() || logPath.empty() ||
                  InterruptGuard::Requested())
                     ? kExitFailed
                     : kExitOk;
    }
    return status;
}

}  // namespace cli

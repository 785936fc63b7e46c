// trackmill --convert FILE... [--out DIR]
// Converts WAV files into MP3 files the way the convert dialog does: each target is
// the output folder + the source's file title + ".mp3" (numbered when an earlier file
// of the run wrote that name), the bit rate is the rate list's entry at the "rate"
// setting and the "channle" setting chooses stereo or which mono. The terminal shows,
// per file, the target, a progress bar fed by the engine's progress events and the
// file's end text, then a summary that names every renamed target; a file that fails,
// is skipped or turns out truncated is named on standard error with the reason.
// Up to "jobs" files (--jobs N) are converted at once, each by an engine of its own;
// their lines still come out in the order of the files, and the bar shows the whole
// run's progress.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/Interrupt.h"
#include "cli/OutputFolder.h"
#include "cli/TerminalBar.h"
#include "convert/ConverterEngine.h"
#include "convert/ConverterLibrary.h"
#include "convert/TargetNames.h"
#include "convert/Workers.h"
#include "core/Settings.h"
#include "core/TextUtils.h"
#include "platform/Paths.h"
#include "platform/Sync.h"

namespace cli {

using namespace convert;
using namespace core;

namespace {

// One file of the run and what became of it.
struct FileJob {
    std::string source;
    std::string target;  // chosen when the file starts
    bool started = false;
    bool done = false;
    double fraction = 0.0;
    // Lines for standard output (false) and standard error (true), shown in file order.
    std::vector<std::pair<bool, std::string>> lines;
    std::vector<std::string> renamed;  // summary lines of this file's numbered targets
};

// The run shared by the workers; everything in it is guarded by `lock`.
struct Batch {
    std::mutex lock;
    std::vector<FileJob> files;
    std::size_t next = 0;              // the next file to start
    std::size_t printed = 0;           // files whose lines are out
    bool headShown = false;            // the target line of files[printed] is out
    std::vector<std::string> targets;  // names this run holds: kept or being written
    int converted = 0, failed = 0, skipped = 0, truncated = 0;
    int running = 0;
    std::uint32_t startMs = 0;
    TerminalBar bar;

    // Prints what is due, in file order: a file's target line once it has started and
    // every earlier file is out, its other lines once it is done.
    void Flush() {
        while (printed < files.size() && files[printed].started) {
            FileJob& f = files[printed];
            if (!headShown) {
                bar.Clear();
                std::printf("%s\n", f.target.c_str());
                headShown = true;
            }
            if (!f.done) break;
            bar.Clear();
            for (const auto& [toError, text] : f.lines) {
                if (toError) {
                    std::fflush(stdout);
                    PrintError(text);
                } else {
                    std::printf("%s\n", text.c_str());
                }
            }
            ++printed;
            headShown = false;
        }
        std::fflush(stdout);
    }

    // The whole run's progress: files done plus the running files' shares.
    void DrawBar(const std::string& title, std::uint32_t elapsedMs) {
        double done = 0.0;
        for (const FileJob& f : files) done += f.done ? 1.0 : f.fraction;
        const std::string label = running > 1 ? std::to_string(running) + " files" : title;
        bar.Draw(label, static_cast<unsigned long long>(done * 1000.0 / files.size()), 1000,
                 "  Times: " + std::to_string(elapsedMs / 1000));
    }
};

// What the progress function of one file needs.
struct FileReport {
    Batch* batch = nullptr;
    FileJob* file = nullptr;
    ConverterEngine* engine = nullptr;
    std::string title;
    std::int32_t lastEvent = -1;
};

// Progress function: context is the FileReport of the file. Draws the run's bar for
// running events and keeps the dialog's end texts of the final ones. Never asks to
// stop through its result.
std::int32_t ShowProgress(std::int32_t type, double fraction, std::uint32_t elapsedMs,
                          void* context, void*) {
    auto* report = static_cast<FileReport*>(context);
    const unsigned seconds = elapsedMs / 1000;
    report->lastEvent = type;
    std::lock_guard<std::mutex> guard(report->batch->lock);
    if (type == kConvertRunning) {
        report->file->fraction = fraction < 0.0 ? 0.0 : fraction > 1.0 ? 1.0 : fraction;
        report->batch->DrawBar(report->title, platform::TickCount() - report->batch->startMs);
        // Ctrl+C stops the file as the dialog's Stop does.
        if (InterruptGuard::Requested()) report->engine->Abort();
        return 1;
    }
    std::string& end = report->file->lines.emplace_back(false, std::string()).second;
    if (type == kConvertFinished) end = "Finished . Times:" + std::to_string(seconds);
    if (type == kConvertTruncated)
        end = "Source truncated: converted what it holds. Times:" + std::to_string(seconds);
    if (type == kConvertAborted) end = "Stop convert! ";
    if (type == kConvertFailed) end = "Convert failure!";
    return 1;
}

// Converts one file with `engine`; the batch's lock is not held.
void ConvertFile(Batch& batch, FileJob& file, ConverterEngine& engine, int bitRate) {
    auto done = [&] {
        file.done = true;
        --batch.running;
        batch.Flush();
    };
    if (!engine.CanConvert(file.source.c_str(), file.target.c_str())) {
        std::lock_guard<std::mutex> guard(batch.lock);
        file.lines.emplace_back(false, "Skipped: " + file.source + " is not a WAV file");
        file.lines.emplace_back(
            true, "--convert: " + file.source + " skipped: its name does not end in .wav");
        ++batch.skipped;
        std::erase(batch.targets, file.target);
        done();
        return;
    }
    FileReport report;
    report.batch = &batch;
    report.file = &file;
    report.engine = &engine;
    report.title = FileTitleFromPath(file.source, true);
    ConvertProgress progress;
    progress.context = &report;
    progress.notify = &ShowProgress;
    const int code =
        engine.Convert(file.source.c_str(), file.target.c_str(), bitRate, 0, &progress);

    std::lock_guard<std::mutex> guard(batch.lock);
    // The name the result was kept under: another run may have taken the target's name
    // meanwhile, and a partial result never replaces an earlier file.
    const std::string kept = engine.LastTarget();
    std::erase(batch.targets, file.target);
    if (!kept.empty()) batch.targets.push_back(kept);
    const std::string why =
        engine.LastProblem().empty() ? "the conversion failed" : engine.LastProblem();
    if (code == kConvertOk && report.lastEvent == kConvertFinished) {
        if (!kept.empty() && kept != file.target)
            file.renamed.push_back(file.source + " -> " + kept);
        ++batch.converted;
    } else if (code == kConvertResultAborted && InterruptGuard::Requested()) {
        file.lines.emplace_back(true, "--convert: " + file.source + " stopped; " +
                                          (kept.empty() ? std::string("nothing was kept")
                                                        : kept + " holds what was converted"));
    } else if (code == kConvertResultTruncated) {
        ++batch.truncated;
        file.lines.emplace_back(true, "--convert: " + file.source + ": " + why + "; " +
                                          (kept.empty() ? file.target : kept) +
                                          " holds the audio it has");
    } else {
        ++batch.failed;
        if (code == kConvertCannotOpenSource)
            file.lines.emplace_back(false, "Cannot open " + file.source);
        else if (code == kConvertNotLoaded)
            file.lines.emplace_back(false, "The encoder module DLL_ORVAM.dll is not loaded");
        file.lines.emplace_back(true, "--convert: " + file.source + " failed: " + why);
    }
    done();
}

}  // namespace

int RunConvertCommand(const std::vector<std::string>& args, const ConverterLibrary& library) {
    CommandLine line;
    std::string error;
    if (!ParseCommandLine(args, line, error)) return UsageError(error);
    if (line.command != Command::Convert) return UsageError("--convert expected");

    std::string outFolder;
    if (!PrepareOutputFolder(line, outFolder, error)) {
        PrintError("--convert: " + error);
        return kExitFailed;
    }
    const int bitRate = BitRateForIndex(ReadRateSetting());
    const int jobs = std::min<int>(line.jobs > 0 ? line.jobs : ReadJobsSetting(),
                                   static_cast<int>(line.files.size()));
    const Channels channels = core::ChannelsForIndex(ReadChannelSetting());

    Batch batch;
    for (const std::string& source : line.files) batch.files.emplace_back().source = source;
    batch.startMs = platform::TickCount();
    InterruptGuard interrupt;
    RunWorkers(jobs, [&](int) {
        ConverterEngine engine(library);
        engine.SetChannels(channels);
        for (;;) {
            std::unique_lock<std::mutex> guard(batch.lock);
            if (InterruptGuard::Requested() || batch.next >= batch.files.size()) return;
            FileJob& file = batch.files[batch.next++];
            // Names are chosen as files start, in file order, against the names this
            // run already holds, so each file gets the name a run of one at a time gives.
            const std::string wanted = ConvertTargetPath(outFolder, file.source);
            file.target = FreeTargetPath(wanted, batch.targets);
            batch.targets.push_back(file.target);
            if (file.target != wanted) file.renamed.push_back(file.source + " -> " + file.target);
            file.started = true;
            ++batch.running;
            batch.Flush();
            guard.unlock();
            ConvertFile(batch, file, engine, bitRate);
        }
    });
    batch.bar.Clear();

    std::vector<std::string> renamed;
    for (const FileJob& f : batch.files)
        renamed.insert(renamed.end(), f.renamed.begin(), f.renamed.end());
    std::printf("%d converted, %d failed, %d skipped", batch.converted, batch.failed,
                batch.skipped);
    if (batch.truncated > 0) std::printf(", %d truncated", batch.truncated);
    std::printf(" (%d kbit/s)", bitRate);
    if (InterruptGuard::Requested()) std::printf(" (interrupted)");
    std::printf("\n");
    if (!renamed.empty()) {
        std::printf("%zu renamed, their titles were taken by earlier files of this run:\n",
                    renamed.size());
        for (const std::string& entry : renamed) std::printf("  %s\n", entry.c_str());
    }
    std::fflush(stdout);
    if (InterruptGuard::Requested()) PrintError("--convert: interrupted");
    return batch.failed == 0 && batch.skipped == 0 && batch.truncated == 0 &&
                   !InterruptGuard::Requested()
               ? kExitOk
               : kExitFailed;
}

}  // namespace cli

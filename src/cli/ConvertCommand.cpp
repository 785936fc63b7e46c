// trackmill --convert FILE... [--out DIR]
// Converts WAV files into MP3 files the way the convert dialog does: each target is
// the output folder + the source's file title + ".mp3" (numbered when an earlier file
// of the run wrote that name), the bit rate is the rate list's entry at the "rate"
// setting and the "channle" setting chooses stereo or which mono. The terminal shows,
// per file, the target, a progress bar fed by the engine's progress events and the
// file's end text, then a summary that names every renamed target; a file that fails,
// is skipped or turns out truncated is named on standard error with the reason.
#include <cstdio>
#include <filesystem>
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
#include "core/Settings.h"
#include "core/TextUtils.h"
#include "platform/Paths.h"

namespace cli {

using namespace convert;
using namespace core;

namespace {

// What the progress function learnt about the file being converted.
struct FileReport {
    std::int32_t lastEvent = -1;
    TerminalBar bar;
    std::string label;
    ConverterEngine* engine = nullptr;
};

// Progress function: context is the FileReport of the current file. Draws the bar for
// running events, and the dialog's end texts for the final ones. Never asks to stop.
std::int32_t ShowProgress(std::int32_t type, double fraction, std::uint32_t elapsedMs,
                          void* context, void*) {
    auto* report = static_cast<FileReport*>(context);
    const unsigned seconds = elapsedMs / 1000;
    const std::string times = "  Times: " + std::to_string(seconds);
    report->lastEvent = type;
    if (type == kConvertRunning) {
        const double clamped = fraction < 0.0 ? 0.0 : fraction > 1.0 ? 1.0 : fraction;
        report->bar.Draw(report->label, static_cast<unsigned long long>(clamped * 1000.0), 1000,
                         times);
        // Ctrl+C stops the file as the dialog's Stop does.
        if (InterruptGuard::Requested()) report->engine->Abort();
        return 1;
    }
    report->bar.Clear();
    if (type == kConvertFinished) std::printf("Finished . Times:%u\n", seconds);
    if (type == kConvertTruncated)
        std::printf("Source truncated: converted what it holds. Times:%u\n", seconds);
    if (type == kConvertAborted) std::printf("Stop convert! \n");
    if (type == kConvertFailed) std::printf("Convert failure!\n");
    std::fflush(stdout);
    return 1;
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

    ConverterEngine engine(library);
    engine.SetChannels(core::ChannelsForIndex(ReadChannelSetting()));
    InterruptGuard interrupt;
    int converted = 0, failed = 0, skipped = 0, truncated = 0;
    std::vector<std::string> targets;  // the targets this run has written
    std::vector<std::string> renamed;  // summary lines of the numbered targets
    for (const std::string& source : line.files) {
        if (InterruptGuard::Requested()) break;
        const std::string wanted = ConvertTargetPath(outFolder, source);
        const std::string target = FreeTargetPath(wanted, targets);
        if (target != wanted) renamed.push_back(source + " -> " + target);
        std::printf("%s\n", target.c_str());
        std::fflush(stdout);
        if (!engine.CanConvert(source.c_str(), target.c_str())) {
            std::printf("Skipped: %s is not a WAV file\n", source.c_str());
            PrintError("--convert: " + source + " skipped: its name does not end in .wav");
            ++skipped;
            continue;
        }
        FileReport report;
        report.label = FileTitleFromPath(source, true);
        report.engine = &engine;
        ConvertProgress progress;
        progress.context = &report;
        progress.notify = &ShowProgress;
        const int code = engine.Convert(source.c_str(), target.c_str(), bitRate, 0, &progress);
        // The name the result was kept under: another run may have taken the target's
        // name meanwhile, and a partial result never replaces an earlier file.
        const std::string kept = engine.LastTarget();
        if (!kept.empty()) targets.push_back(kept);
        if (code == kConvertOk && report.lastEvent == kConvertFinished) {
            if (!kept.empty() && kept != target) renamed.push_back(source + " -> " + kept);
            ++converted;
            continue;
        }
        if (code == kConvertResultAborted && InterruptGuard::Requested()) {
            PrintError("--convert: " + source + " stopped; " +
                       (kept.empty() ? std::string("nothing was kept")
                                     : kept + " holds what was converted"));
            break;
        }
        const std::string why =
            engine.LastProblem().empty() ? "the conversion failed" : engine.LastProblem();
        if (code == kConvertResultTruncated) {
            ++truncated;
            PrintError("--convert: " + source + ": " + why + "; " + (kept.empty() ? target : kept) +
                       " holds the audio it has");
            continue;
        }
        ++failed;
        if (code == kConvertCannotOpenSource) {
            std::printf("Cannot open %s\n", source.c_str());
        } else if (code == kConvertNotLoaded) {
            std::printf("The encoder module DLL_ORVAM.dll is not loaded\n");
        }
        PrintError("--convert: " + source + " failed: " + why);
    }
    std::printf("%d converted, %d failed, %d skipped", converted, failed, skipped);
    if (truncated > 0) std::printf(", %d truncated", truncated);
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
    return failed == 0 && skipped == 0 && truncated == 0 && !InterruptGuard::Requested()
               ? kExitOk
               : kExitFailed;
}

}  // namespace cli

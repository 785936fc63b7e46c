// trackmill --convert FILE... [--out DIR]
// Converts WAV files into MP3 files the way the convert dialog does: each target is
// the output folder + the source's file title + ".mp3", the bit rate is the rate
// list's entry at the "rate" setting. The terminal shows, per file, the target, a
// progress bar fed by the engine's progress events and the file's end text, then a
// summary. Exit status: 0 every file converted, 1 any failed or skipped, 2 usage.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "convert/ConverterEngine.h"
#include "convert/ConverterLibrary.h"
#include "core/Settings.h"
#include "core/TextUtils.h"
#include "platform/Paths.h"

namespace cli {

using namespace convert;
using namespace core;

namespace {

constexpr int kBarWidth = 30;

int Usage(const char* problem) {
    std::fprintf(stderr, "trackmill: %s\nusage: trackmill --convert FILE... [--out DIR]\n",
                 problem);
    return 2;
}

// What the progress function learnt about the file being converted.
struct FileReport {
    std::int32_t lastEvent = -1;
    bool barShown = false;
};

void DrawBar(int percent, unsigned seconds) {
    const int filled = percent * kBarWidth / 100;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kBarWidth - filled), '-');
    std::printf("\r  [%s] %3d%%  Times: %u", bar.c_str(), percent, seconds);
    std::fflush(stdout);
}

// Progress function: context is the FileReport of the current file. Draws the bar for
// running events, and the dialog's end texts for the final ones. Never asks to stop.
std::int32_t ShowProgress(std::int32_t type, double fraction, std::uint32_t elapsedMs,
                          void* context, void*) {
    auto* report = static_cast<FileReport*>(context);
    const unsigned seconds = elapsedMs / 1000;
    report->lastEvent = type;
    if (type == kConvertRunning) {
        int percent = static_cast<int>(fraction * 100.0);
        percent = percent < 0 ? 0 : percent > 100 ? 100 : percent;
        DrawBar(percent, seconds);
        report->barShown = true;
        return 1;
    }
    if (type == kConvertFinished) {
        DrawBar(100, seconds);
        std::printf("\nFinished . Times:%u\n", seconds);
    } else {
        if (report->barShown) std::printf("\n");
        if (type == kConvertAborted) std::printf("Stop convert! \n");
        if (type == kConvertFailed) std::printf("Convert failure!\n");
    }
    std::fflush(stdout);
    return 1;
}

}  // namespace

int RunConvertCommand(const std::vector<std::string>& args) {
    if (!IsConverterLibraryBound()) BindConverterLibrary();

    std::vector<std::string> sources;
    std::string outFolder;
    bool haveOut = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--convert") continue;
        if (a == "--out") {
            if (haveOut) return Usage("--out given twice");
            if (i + 1 >= args.size() || args[i + 1].empty()) return Usage("--out needs a folder");
            outFolder = args[++i];
            haveOut = true;
            // A folder named on the command line is joined as a folder, as the folder
            // picker's choice (which always ends with a separator) would be.
            if (!platform::IsPathSeparator(outFolder.back())) outFolder += platform::kPathSeparator;
            continue;
        }
        if (a.size() > 1 && a[0] == '-') return Usage(("unknown option " + a).c_str());
        sources.push_back(a);
    }
    if (sources.empty()) return Usage("no files to convert");
    if (!haveOut) outFolder = ReadOutputSetting();
    // A folder named with --out is made when missing (one level), as the program does
    // for its default output folder; a failure shows as each file's failure.
    if (haveOut) platform::CreateFolder(outFolder);
    const int bitRate = BitRateForIndex(ReadRateSetting());

    ConverterEngine engine;
    int converted = 0, failed = 0, skipped = 0;
    for (const std::string& source : sources) {
        const std::string target = outFolder + FileTitleFromPath(source, false) + ".mp3";
        std::printf("%s\n", target.c_str());
        std::fflush(stdout);
        if (!engine.CanConvert(source.c_str(), target.c_str())) {
            std::printf("Skipped: %s is not a WAV file\n", source.c_str());
            ++skipped;
            continue;
        }
        FileReport report;
        ConvertProgress progress;
        progress.context = &report;
        progress.notify = &ShowProgress;
        const int code = engine.Convert(source.c_str(), target.c_str(), bitRate, 0, &progress);
        if (code == kConvertOk && report.lastEvent == kConvertFinished) {
            ++converted;
            continue;
        }
        ++failed;
        if (code == kConvertCannotOpenSource) {
            std::printf("Cannot open %s\n", source.c_str());
        } else if (code == kConvertNotLoaded) {
            std::printf("The encoder module DLL_ORVAM.dll is not loaded\n");
        }
    }
    std::printf("%d converted, %d failed, %d skipped (%d kbit/s)\n", converted, failed, skipped,
                bitRate);
    std::fflush(stdout);
    return failed == 0 && skipped == 0 ? 0 : 1;
}

}  // namespace cli

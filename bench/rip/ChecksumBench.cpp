// What the rip's checksums cost: rips every audio track of a disc image to WAV with
// the rip engine, alternately with and without the reader summing the audio (CRC32,
// AccurateRip v1/v2 and the CTDB CRC32), and prints the median times and their ratio.
// Also times the sums alone over the same audio on one thread, and the step that
// turns a track's kept CRC32s into its CTDB CRC32.
//   rip_checksum_bench DISC.cue [RUNS]
// Make the disc with rip_bench_disc (rip_bench.py runs both).
#include <sys/resource.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "cd/TrackTable.h"
#include "cdaccess/Drive.h"
#include "core/Messages.h"
#include "platform/WindowMessages.h"
#include "rip/RipEngine.h"
#include "rip/TrackChecksum.h"

using namespace rip;

namespace {

// The rip dialog's stand-in: ignores the progress and counts the tracks done on the
// main thread.
class BenchDialog : public QObject, public RipObserver {
  public:
    void TrackFile(const std::string&) override {}
    void TrackBegun(std::uint64_t) override {}
    void TrackProgress(std::uint64_t, std::uint64_t) override {}
    void TrackEnded(std::int32_t) override {
        platform::PostCall(this, [this] { ++done; });
    }
    int done = 0;
};

// Processor time of the whole process (every thread), user and system.
double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s DISC.cue [RUNS]\n", argv[0]);
        return 2;
    }
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 21;
    QCoreApplication app(argc, argv);
    cdaccess::SetSystemDrivesListed(false);
    cdaccess::AddImage(argv[1]);
    DriveListRecord drives{};
    drives.capacity = 8;
    GetCDList(&drives);
    const std::uint32_t handle = cd::OpenDrive(0, drives);
    cd::TrackEntry table[cd::kMaxTracks];
    std::vector<cd::TrackRow> rows;
    if (handle == 0 || cd::BuildTrackTable(handle, drives, table, rows) == 0) {
        std::fprintf(stderr, "rip_checksum_bench: cannot open %s\n", argv[1]);
        return 1;
    }
    QTemporaryDir out;
    RipEngine engine(handle);
    RipOptions options;
    options.format = encode::Format::Wav;
    std::snprintf(options.folder, sizeof options.folder, "%s", out.path().toUtf8().constData());
    engine.SetOutput(options);
    BenchDialog dialog;

    double cpu[2] = {0, 0};  // without, with
    auto ripAll = [&](bool sums) {
        engine.SetChecksumsForTesting(sums);
        const double cpuStart = CpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (table[i].isData) continue;
            const int before = dialog.done;
            const cd::Track track = cd::TrackOfRow(table[i], rows[i]);
            engine.StartTrack(dialog, &track);
            while (dialog.done == before)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            engine.EndTrack();
            if (engine.LastEndReason() != kEndRunning) {
                std::fprintf(stderr, "rip_checksum_bench: %s failed\n", table[i].name);
                std::exit(1);
            }
        }
        cpu[sums ? 1 : 0] += CpuSeconds() - cpuStart;
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };

    std::uint64_t frames = 0;
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (!table[i].isData) frames += table[i].lengthFrames;
    ripAll(true);  // warm the page cache
    cpu[1] = 0;
    std::vector<double> with, without;
    for (int r = 0; r < runs; ++r) {
        without.push_back(ripAll(false));
        with.push_back(ripAll(true));
    }

    // The sums alone, over the same number of bytes of audio.
    std::vector<unsigned char> audio(std::size_t{588} * 4 * 75 * 60);  // one minute
    for (std::size_t i = 0; i < audio.size(); ++i)
        audio[i] = static_cast<unsigned char>(i * 7919 >> 3);
    const std::uint64_t bytes = frames * kFrameBytes;
    const auto start = std::chrono::steady_clock::now();
    rip::TrackChecksum sum;
    sum.Start(bytes / 4, true, true, 13 * 588);  // both ends of the CTDB part in this track
    for (std::uint64_t done = 0; done < bytes; done += audio.size())
        sum.Add(audio.data(), std::min<std::uint64_t>(audio.size(), bytes - done));
    const double alone =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    constexpr int kCtdbCalls = 10000;
    std::uint32_t ctdb = 0;
    const auto ctdbStart = std::chrono::steady_clock::now();
    for (int i = 0; i < kCtdbCalls; ++i) ctdb += sum.CtdbCrc();
    const double ctdbEach =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - ctdbStart).count() /
        kCtdbCalls;

    // Each run with the sums is compared with the run without them just before it, so
    // that slow drifts of the machine (page cache, write-back) cancel; the median of
    // those ratios is the figure to quote.
    std::vector<double> ratios;
    for (int r = 0; r < runs; ++r) ratios.push_back(with[r] / without[r]);
    std::sort(ratios.begin(), ratios.end());
    const double ratio = Median(ratios);
    std::printf("rip to WAV, %.1f minutes of audio, %d runs each\n", frames / 75.0 / 60.0, runs);
    std::printf("  with checksums:    median %.3f s\n", Median(with));
    std::printf("  without checksums: median %.3f s\n", Median(without));
    std::printf("  ratio with/without: %.3f (median of the paired runs; quartiles %.3f-%.3f)\n",
                ratio, ratios[runs / 4], ratios[runs * 3 / 4]);
    std::printf("  checksums cost %+.1f%% of the rip's time (budget 5%%)\n", (ratio - 1) * 100);
    std::printf("  processor time with/without: %.3f s / %.3f s, ratio %.3f\n", cpu[1], cpu[0],
                cpu[1] / cpu[0]);
    std::printf("  the sums alone on one thread: %.3f s (%.0f MB/s, crc32 %08x)\n", alone,
                bytes / alone / 1e6, sum.Crc32());
    std::printf("  a track's CTDB CRC32 from its kept CRC32s: %.2f us (%08x, sum %08x)\n",
                ctdbEach * 1e6, sum.CtdbCrc(), ctdb);
    return 0;
}

// Converter throughput against the lame command: both encode the same generated
// 44100 Hz stereo WAV file (10 minutes by default) at the same constant bit rate, in
// turns, and the medians of the wall-clock times give the ratio
//   throughput ratio = lame seconds / converter seconds   (1.0 = as fast as lame)
// The target is a ratio of at least 0.97. The same ratio over processor time (user +
// system, the converter's own and lame's as a child process) is printed beside it: on
// a busy machine it is the steadier of the two. The lame command analyses ReplayGain
// by default, which the converter does not; a second peer, lame --noreplaygain, is
// timed as well and its ratio printed for comparison.
//
// A second measurement times a batch: `trackmill --convert` of six 2-minute WAV files
// (up to "jobs" files at once, --jobs N when given) against converting them one after
// another with lame. The target is a ratio of at least 1.8 on a 2-core machine.
//
// usage: convert_bench [--minutes N] [--bitrate KBPS] [--runs N] [--keep DIR]
//                      [--jobs N] [--batch-only]
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "convert/ConverterEngine.h"
#include "convert/ConverterLibrary.h"

using namespace convert;

namespace {

void Put16(std::FILE* f, std::uint32_t v) {
    const unsigned char b[2] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8)};
    std::fwrite(b, 1, 2, f);
}
void Put32(std::FILE* f, std::uint32_t v) {
    Put16(f, v & 0xFFFF);
    Put16(f, v >> 16);
}

// Writes a music-like stereo signal (a few tones with a slow swell, a little noise,
// different on the two channels) so the encoder works as it would on real audio.
bool WriteSource(const std::string& path, double minutes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const std::uint32_t frames = static_cast<std::uint32_t>(minutes * 60 * 44100);
    const std::uint32_t bytes = frames * 4;
    std::fwrite("RIFF", 1, 4, f);
    Put32(f, 36 + bytes);
    std::fwrite("WAVEfmt ", 1, 8, f);
    Put32(f, 16);
    Put16(f, 1);
    Put16(f, 2);
    Put32(f, 44100);
    Put32(f, 176400);
    Put16(f, 4);
    Put16(f, 16);
    std::fwrite("data", 1, 4, f);
    Put32(f, bytes);
    std::vector<std::int16_t> block;
    std::uint32_t noise = 12345;
    for (std::uint32_t i = 0; i < frames; ++i) {
        const double t = i / 44100.0;
        const double swell = 0.6 + 0.4 * std::sin(2 * M_PI * 0.25 * t);
        noise = noise * 1664525u + 1013904223u;
        const double n = (static_cast<double>(noise >> 16) / 65536.0 - 0.5) * 600.0;
        const double l =
            swell * (5000 * std::sin(2 * M_PI * 220 * t) + 2500 * std::sin(2 * M_PI * 1375 * t) +
                     900 * std::sin(2 * M_PI * 5100 * t)) +
            n;
        const double r =
            swell * (4000 * std::sin(2 * M_PI * 330 * t) + 2000 * std::sin(2 * M_PI * 2750 * t) +
                     700 * std::sin(2 * M_PI * 7200 * t)) -
            n;
        block.push_back(static_cast<std::int16_t>(l));
        block.push_back(static_cast<std::int16_t>(r));
        if (block.size() >= 65536) {
            std::fwrite(block.data(), 2, block.size(), f);
            block.clear();
        }
    }
    std::fwrite(block.data(), 2, block.size(), f);
    return std::fclose(f) == 0;
}

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// User + system processor seconds of this process (RUSAGE_SELF) or of its waited-for
// children (RUSAGE_CHILDREN).
double CpuSeconds(int who) {
    rusage u{};
    getrusage(who, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The batch: six 2-minute files through `trackmill --convert` (the program beside this
// bench, with a settings file of its own at the same bit rate) against lame on each
// file in turn. Prints the runs, the medians and the ratio; false when a run failed.
bool BenchBatch(const std::string& folder, const char* self, int bitRate, int runs,
                const std::string& jobs) {
    const std::string bin = std::filesystem::absolute(self).parent_path().string();
    const std::string in = folder + "/batch", ours = folder + "/batch-trackmill",
                      theirs = folder + "/batch-lame", config = folder + "/batch-config";
    for (const std::string& dir : {in, ours, theirs, config + "/trackmill"})
        std::filesystem::create_directories(dir);
    // The settings: the rate list index of the bit rate (192 when it is not in the list).
    const int rates[] = {320, 256, 224, 192, 160, 128, 112, 96, 64, 56};
    int index = 3;
    for (int i = 0; i < 10; ++i)
        if (rates[i] == bitRate) index = i;
    if (FILE* f = std::fopen((config + "/trackmill/trackmill.ini").c_str(), "w")) {
        std::fprintf(f, "[CONFIG]\nrate=%d\n", index);
        std::fclose(f);
    }
    std::string files, lame;
    for (int i = 1; i <= 6; ++i) {
        const std::string source = in + "/track" + std::to_string(i) + ".wav";
        if (!WriteSource(source, 2.0)) return false;
        files += " '" + source + "'";
        lame += (i > 1 ? " && " : "") + std::string("lame --quiet -b ") + std::to_string(bitRate) +
                " '" + source + "' '" + theirs + "/track" + std::to_string(i) + ".mp3'";
    }
    const std::string convert = "XDG_CONFIG_HOME='" + config + "' '" + bin +
                                "/trackmill' --convert" + files + " --out '" + ours + "'" +
                                (jobs.empty() ? "" : " --jobs " + jobs) + " >/dev/null";
    std::printf("batch: six 2-minute files, %d kbit/s, %s, %d runs each\n", bitRate,
                jobs.empty() ? "the jobs setting's default" : ("--jobs " + jobs).c_str(), runs);
    std::vector<double> oursTimes, lameTimes;
    for (int run = 0; run < runs; ++run) {
        std::filesystem::remove_all(ours);
        std::filesystem::create_directories(ours);
        auto t0 = std::chrono::steady_clock::now();
        const int a = std::system(convert.c_str());
        auto t1 = std::chrono::steady_clock::now();
        const int b = std::system(lame.c_str());
        auto t2 = std::chrono::steady_clock::now();
        if (a != 0 || b != 0) {
            std::fprintf(stderr, "convert_bench: a batch failed (trackmill %d, lame %d)\n", a, b);
            return false;
        }
        oursTimes.push_back(Seconds(t1 - t0));
        lameTimes.push_back(Seconds(t2 - t1));
        std::printf("batch run %d: trackmill --convert %.3f s, lame one after another %.3f s\n",
                    run + 1, oursTimes.back(), lameTimes.back());
    }
    std::printf("batch median: trackmill --convert %.3f s, lame %.3f s\n", Median(oursTimes),
                Median(lameTimes));
    std::printf(
        "batch throughput ratio (lame one after another)/(trackmill --convert): %.3f "
        "(target >= 1.8)\n",
        Median(lameTimes) / Median(oursTimes));
    std::fflush(stdout);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    double minutes = 10;
    int bitRate = 192;
    int runs = 3;
    std::string keep;
    std::string jobs;
    bool batchOnly = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--batch-only") {
            batchOnly = true;
            continue;
        }
        if (i + 1 >= argc) break;
        if (a == "--jobs")
            jobs = std::to_string(std::max(1, std::atoi(argv[++i])));
        else if (a == "--minutes")
            minutes = std::atof(argv[++i]);
        else if (a == "--bitrate")
            bitRate = std::atoi(argv[++i]);
        else if (a == "--runs")
            runs = std::max(1, std::atoi(argv[++i]));
        else if (a == "--keep")
            keep = argv[++i];
    }
    if (std::system("command -v lame >/dev/null 2>&1") != 0) {
        std::fprintf(stderr, "convert_bench: the lame command is not installed\n");
        return 1;
    }
    ConverterLibrary library;
    library.Bind();
    ConverterEngine engine(library);
    if (!engine.IsLoaded()) {
        std::fprintf(stderr, "convert_bench: the encoder module DLL_ORVAM.dll is not loaded\n");
        return 1;
    }

    std::string folder = keep;
    if (folder.empty()) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "convert_bench_XXXXXX").string();
        if (!mkdtemp(pattern.data())) return 1;
        folder = pattern;
    }
    if (!BenchBatch(folder, argv[0], bitRate, runs, jobs)) return 1;
    if (batchOnly) {
        if (keep.empty()) std::filesystem::remove_all(folder);
        return 0;
    }

    const std::string source = folder + "/source.wav";
    const std::string ours = folder + "/converter.mp3";
    const std::string theirs = folder + "/lame.mp3";
    std::printf("source: %.1f minutes of 44100 Hz stereo, %d kbit/s, %d runs each\n", minutes,
                bitRate, runs);
    if (!WriteSource(source, minutes)) return 1;
    const std::string lame =
        "lame --quiet -b " + std::to_string(bitRate) + " '" + source + "' '" + theirs + "'";
    const std::string lameNoGain = "lame --quiet --noreplaygain -b " + std::to_string(bitRate) +
                                   " '" + source + "' '" + theirs + "'";

    std::vector<double> converterTimes, lameTimes, converterCpu, lameCpu, noGainTimes;
    for (int run = 0; run < runs; ++run) {
        const double self0 = CpuSeconds(RUSAGE_SELF);
        auto t0 = std::chrono::steady_clock::now();
        const int code = engine.Convert(source.c_str(), ours.c_str(), bitRate, 0, nullptr);
        auto t1 = std::chrono::steady_clock::now();
        const double self1 = CpuSeconds(RUSAGE_SELF);
        const double child0 = CpuSeconds(RUSAGE_CHILDREN);
        const int status = std::system(lame.c_str());
        auto t2 = std::chrono::steady_clock::now();
        const double child1 = CpuSeconds(RUSAGE_CHILDREN);
        const int noGainStatus = std::system(lameNoGain.c_str());
        auto t3 = std::chrono::steady_clock::now();
        if (code != kConvertOk || status != 0 || noGainStatus != 0) {
            std::fprintf(stderr, "convert_bench: a conversion failed (converter %d, lame %d)\n",
                         code, status);
            return 1;
        }
        converterTimes.push_back(Seconds(t1 - t0));
        lameTimes.push_back(Seconds(t2 - t1));
        converterCpu.push_back(self1 - self0);
        lameCpu.push_back(child1 - child0);
        noGainTimes.push_back(Seconds(t3 - t2));
        std::printf(
            "run %d: converter %.3f s (cpu %.3f s), lame %.3f s (cpu %.3f s), lame "
            "--noreplaygain %.3f s\n",
            run + 1, converterTimes.back(), converterCpu.back(), lameTimes.back(), lameCpu.back(),
            noGainTimes.back());
    }
    const double ratio = Median(lameTimes) / Median(converterTimes);
    std::printf("median: converter %.3f s, lame %.3f s\n", Median(converterTimes),
                Median(lameTimes));
    std::printf("throughput ratio converter/lame: %.3f (target >= 0.97)\n", ratio);
    std::printf("processor-time ratio converter/lame: %.3f (median cpu %.3f s vs %.3f s)\n",
                Median(lameCpu) / Median(converterCpu), Median(converterCpu), Median(lameCpu));
    std::printf("throughput ratio converter/(lame --noreplaygain): %.3f\n",
                Median(noGainTimes) / Median(converterTimes));
    if (keep.empty()) std::filesystem::remove_all(folder);
    return 0;
}

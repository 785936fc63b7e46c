// The pieces the rip's encoding runs on: the spool that holds a track's audio until
// its encoder starts, the encoder workers, and the ReplayGain measurement.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <thread>
#include <vector>

#include "rip/EncoderPool.h"
#include "rip/ReplayGain.h"
#include "rip/TrackSpool.h"

namespace {

using namespace rip;

// A spool past its share of the memory bound goes on in its temporary file: every byte
// comes back in order, the memory read back is given back at once, and the file goes
// with the spool.
TEST(TrackSpoolTest, OverflowsIntoItsFileAndReadsBackInOrder) {
    const std::string temp =
        (std::filesystem::temp_directory_path() / ("spool-" + std::to_string(getpid()))).string();
    SpoolBudget budget(2 * TrackSpool::kBlockBytes);
    std::vector<unsigned char> audio(5 * TrackSpool::kBlockBytes + 12345);
    for (std::size_t i = 0; i < audio.size(); ++i)
        audio[i] = static_cast<unsigned char>(i * 7 + i / 4099);
    {
        TrackSpool spool(budget, temp);
        for (std::size_t at = 0; at < audio.size(); at += 70000)
            ASSERT_TRUE(
                spool.Append(audio.data() + at, std::min<std::size_t>(70000, audio.size() - at)));
        EXPECT_TRUE(spool.OnDisk());
        EXPECT_EQ(2 * TrackSpool::kBlockBytes, budget.Used());
        ASSERT_TRUE(spool.EndAppending());
        std::vector<unsigned char> back;
        unsigned char piece[9000];
        std::size_t n;
        while ((n = spool.Read(piece, sizeof piece)) > 0) back.insert(back.end(), piece, piece + n);
        EXPECT_FALSE(spool.Failed());
        EXPECT_TRUE(back == audio);
        EXPECT_EQ(0u, budget.Used());
    }
    EXPECT_FALSE(std::filesystem::exists(temp));
}

// Up to "jobs" jobs run at once, all of them see a stop, and queued jobs still run
// (to end their files) after it.
TEST(EncoderPoolTest, RunsJobsAtOnceAndStopsEveryOne) {
    EncoderPool pool;
    pool.SetJobs(3);
    std::atomic<int> running{0}, most{0}, stopped{0}, ran{0};
    for (int i = 0; i < 5; ++i) {
        pool.Submit([&](const std::atomic<bool>& stop) {
            const int now = ++running;
            int seen = most.load();
            while (now > seen && !most.compare_exchange_weak(seen, now)) {
            }
            while (!stop.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ++stopped;
            ++ran;
            --running;
        });
    }
    for (int i = 0; i < 5000 && running.load() < 3; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(5, pool.Pending());
    pool.Stop();
    pool.WaitIdle();
    EXPECT_EQ(3, most.load());
    EXPECT_EQ(5, ran.load());
    EXPECT_EQ(0, pool.Pending());
}

// Waiting jobs run largest first, equal ones in the order they came.
TEST(EncoderPoolTest, TheLargestWaitingJobRunsFirst) {
    EncoderPool pool;
    std::atomic<bool> open{false};
    std::vector<int> order;  // written by the one worker only
    pool.Submit([&](const std::atomic<bool>&) {
        while (!open.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    const std::pair<int, std::uint64_t> jobs[] = {{1, 10}, {2, 50}, {3, 30}, {4, 50}};
    for (const auto& [name, size] : jobs)
        pool.Submit([&order, name = name](const std::atomic<bool>&) { order.push_back(name); },
                    size);
    open = true;
    pool.WaitIdle();
    EXPECT_EQ((std::vector<int>{2, 4, 3, 1}), order);
}

// Interleaved 16-bit stereo of a 1 kHz sine at `dbfs` peak on both channels.
std::vector<unsigned char> Sine(double dbfs, double seconds) {
    const double amplitude = 32767.0 * std::pow(10.0, dbfs / 20.0);
    std::vector<unsigned char> pcm;
    for (std::size_t i = 0; i < static_cast<std::size_t>(seconds * 44100); ++i) {
        const auto v = static_cast<std::int16_t>(
            std::lround(amplitude * std::sin(2 * M_PI * 1000.0 * i / 44100)));
        for (int c = 0; c < 2; ++c) {
            pcm.push_back(static_cast<unsigned char>(v & 0xFF));
            pcm.push_back(static_cast<unsigned char>((v >> 8) & 0xFF));
        }
    }
    return pcm;
}

// A stereo 1 kHz sine at -23 dBFS measures -23 LUFS (EBU Tech 3341's first case), so its
// gain to -18 LUFS is +5 dB; pieces cut mid-pair measure the same; the album of a -23
// and a -33 dBFS track of equal length lies between them, with the louder one's peak.
TEST(ReplayGainTest, KnownLoudnessSignalsGiveTheirGains) {
    auto loud = std::make_shared<TrackLoudness>();
    const auto a = Sine(-23.0, 20.0);
    for (std::size_t at = 0; at < a.size(); at += 58803)
        loud->Add(a.data() + at, std::min<std::size_t>(58803, a.size() - at));
    const GainValues g = loud->Result();
    ASSERT_TRUE(g.valid);
    EXPECT_NEAR(5.0, g.gainDb, 0.1);
    EXPECT_NEAR(std::pow(10.0, -23.0 / 20.0), g.peak, 1e-3);

    auto quiet = std::make_shared<TrackLoudness>();
    const auto b = Sine(-33.0, 20.0);
    quiet->Add(b.data(), b.size());
    EXPECT_NEAR(15.0, quiet->Result().gainDb, 0.1);

    AlbumLoudness album;
    album.Include(loud);
    album.Include(quiet);
    const GainValues both = album.Result();
    ASSERT_TRUE(both.valid);
    // Energy average of -23 and -33 LUFS (the quieter blocks pass the relative gate).
    const double expected =
        -18.0 - 10 * std::log10((std::pow(10.0, -2.3) + std::pow(10.0, -3.3)) / 2);
    EXPECT_NEAR(expected, both.gainDb, 0.1);
    EXPECT_NEAR(g.peak, both.peak, 1e-9);
    EXPECT_EQ("not measured", DescribeGain(TrackLoudness().Result()));
}

}  // namespace

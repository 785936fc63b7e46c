// Wave output against ALSA's file sink (see PlayerTestSupport.h for the seam): what
// the device is given is read back from the capture file after the device closes.
#include "platform/WaveOut.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "PlayerTestSupport.h"

using namespace platform;

namespace {

// Collects done notices and the thread they arrived on.
struct Notices {
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<WaveHeader*> done;
    std::vector<std::thread::id> threads;

    bool WaitFor(std::size_t count) {
        std::unique_lock<std::mutex> lock(mutex);
        return cv.wait_for(lock, std::chrono::seconds(10), [&] { return done.size() >= count; });
    }
    std::size_t Count() {
        std::lock_guard<std::mutex> guard(mutex);
        return done.size();
    }
};

void Callback(WaveOutHandle, unsigned notice, std::uintptr_t instance, std::uintptr_t p1,
              std::uintptr_t) {
    if (notice != kWaveDoneNotice) return;
    auto* n = reinterpret_cast<Notices*>(instance);
    std::lock_guard<std::mutex> guard(n->mutex);
    n->done.push_back(reinterpret_cast<WaveHeader*>(p1));
    n->threads.push_back(std::this_thread::get_id());
    n->cv.notify_all();
}

constexpr WaveFormat kCdFormat{kWaveFormatPcm, 2, 44100, 176400, 4, 16, 0};

// A buffer of `bytes` whose content depends on `seed`, with its header prepared.
struct Buffer {
    std::vector<char> bytes;
    WaveHeader header{};
    Buffer(std::size_t size, int seed) : bytes(size) {
        for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 31 + seed * 7);
        header.data = bytes.data();
        header.bufferLength = static_cast<std::uint32_t>(size);
    }
};

std::vector<unsigned char> Concat(std::initializer_list<const Buffer*> buffers) {
    std::vector<unsigned char> all;
    for (const Buffer* b : buffers) all.insert(all.end(), b->bytes.begin(), b->bytes.end());
    return all;
}

}  // namespace

TEST(WaveOut, PlaysBuffersInOrderWithDoneNoticesOnTheDevicesThread) {
    playertest::SoundSink sink;
    Notices notices;
    WaveOutHandle device = nullptr;
    ASSERT_EQ(WaveOutOpen(&device, kWaveMapper, &kCdFormat, Callback,
                          reinterpret_cast<std::uintptr_t>(&notices)),
              kWaveOk);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(WaveOutDevicesOpen(), 1);

    Buffer a(58800, 1), b(40000, 2), c(4, 3);
    for (Buffer* x : {&a, &b, &c}) {
        ASSERT_EQ(WaveOutPrepareHeader(device, &x->header, sizeof(WaveHeader)), kWaveOk);
        ASSERT_EQ(WaveOutWrite(device, &x->header, sizeof(WaveHeader)), kWaveOk);
    }
    ASSERT_TRUE(notices.WaitFor(3));
    EXPECT_EQ(notices.done, (std::vector<WaveHeader*>{&a.header, &b.header, &c.header}));
    for (std::thread::id id : notices.threads) EXPECT_NE(id, std::this_thread::get_id());
    for (Buffer* x : {&a, &b, &c}) {
        EXPECT_TRUE(x->header.flags & kWaveHeaderDone);
        EXPECT_EQ(WaveOutUnprepareHeader(device, &x->header, sizeof(WaveHeader)), kWaveOk);
    }
    ASSERT_EQ(WaveOutClose(device), kWaveOk);
    EXPECT_EQ(WaveOutDevicesOpen(), 0);
    EXPECT_EQ(sink.Captured(), Concat({&a, &b, &c}));
}

TEST(WaveOut, PauseHoldsTheQueueAndRestartLosesNothing) {
    playertest::SoundSink sink;
    Notices notices;
    WaveOutHandle device = nullptr;
    ASSERT_EQ(WaveOutOpen(&device, kWaveMapper, &kCdFormat, Callback,
                          reinterpret_cast<std::uintptr_t>(&notices)),
              kWaveOk);
    Buffer a(58800, 4), b(58800, 5), c(58800, 6);
    ASSERT_EQ(WaveOutPrepareHeader(device, &a.header, sizeof(WaveHeader)), kWaveOk);
    ASSERT_EQ(WaveOutWrite(device, &a.header, sizeof(WaveHeader)), kWaveOk);
    ASSERT_TRUE(notices.WaitFor(1));

    ASSERT_EQ(WaveOutPause(device), kWaveOk);
    for (Buffer* x : {&b, &c}) {
        ASSERT_EQ(WaveOutPrepareHeader(device, &x->header, sizeof(WaveHeader)), kWaveOk);
        ASSERT_EQ(WaveOutWrite(device, &x->header, sizeof(WaveHeader)), kWaveOk);
    }
    // The sink would take both at once; while paused none may come back.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(notices.Count(), 1u);
    EXPECT_EQ(WaveOutUnprepareHeader(device, &b.header, sizeof(WaveHeader)), kWaveStillPlaying);
    EXPECT_EQ(WaveOutClose(device), kWaveStillPlaying);

    ASSERT_EQ(WaveOutRestart(device), kWaveOk);
    ASSERT_TRUE(notices.WaitFor(3));
    ASSERT_EQ(WaveOutClose(device), kWaveOk);
    EXPECT_EQ(sink.Captured(), Concat({&a, &b, &c}));
}

TEST(WaveOut, ResetReturnsEveryQueuedBufferBeforeItReturns) {
    playertest::SoundSink sink;
    Notices notices;
    WaveOutHandle device = nullptr;
    ASSERT_EQ(WaveOutOpen(&device, kWaveMapper, &kCdFormat, Callback,
                          reinterpret_cast<std::uintptr_t>(&notices)),
              kWaveOk);
    ASSERT_EQ(WaveOutPause(device), kWaveOk);
    Buffer a(58800, 7), b(58800, 8);
    EXPECT_EQ(WaveOutWrite(device, &a.header, sizeof(WaveHeader)), kWaveUnprepared);
    for (Buffer* x : {&a, &b}) {
        ASSERT_EQ(WaveOutPrepareHeader(device, &x->header, sizeof(WaveHeader)), kWaveOk);
        ASSERT_EQ(WaveOutWrite(device, &x->header, sizeof(WaveHeader)), kWaveOk);
    }
    ASSERT_EQ(WaveOutReset(device), kWaveOk);
    EXPECT_EQ(notices.Count(), 2u);
    EXPECT_EQ(notices.done, (std::vector<WaveHeader*>{&a.header, &b.header}));
    EXPECT_FALSE(a.header.flags & kWaveHeaderInQueue);

    // After a reset the device plays again without a restart.
    ASSERT_EQ(WaveOutWrite(device, &a.header, sizeof(WaveHeader)), kWaveOk);
    ASSERT_TRUE(notices.WaitFor(3));
    ASSERT_EQ(WaveOutClose(device), kWaveOk);
    EXPECT_EQ(sink.Captured(), Concat({&a}));
}

TEST(WaveOut, OpenFailsCleanlyWithoutASoundDeviceOrWithAnotherFormat) {
    playertest::SoundSink noDevice(false);
    WaveOutHandle device = reinterpret_cast<WaveOutHandle>(1);
    EXPECT_EQ(WaveOutOpen(&device, kWaveMapper, &kCdFormat, Callback, 0), kWaveBadDevice);
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(WaveOutDevicesOpen(), 0);

    WaveFormat eightBit = kCdFormat;
    eightBit.bitsPerSample = 8;
    EXPECT_EQ(WaveOutOpen(&device, kWaveMapper, &eightBit, Callback, 0), kWaveBadFormat);
    EXPECT_EQ(WaveOutClose(nullptr), kWaveInvalidHandle);
}

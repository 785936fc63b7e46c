// The ring buffer's queueing and space event, and the WAV header.
#include <gtest/gtest.h>

#include <cstdio>
#include <numeric>
#include <vector>

#include "encode/WavHeader.h"
#include "rip/AudioRingBuffer.h"

using namespace rip;
using namespace encode;

namespace {

std::vector<unsigned char> Bytes(int n, int start = 0) {
    std::vector<unsigned char> v(static_cast<size_t>(n));
    std::iota(v.begin(), v.end(), static_cast<unsigned char>(start));
    return v;
}

class RingTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(RingCreate(&ring, 16), -1); }
    void TearDown() override { RingDestroy(&ring); }
    AudioRingBuffer ring;
};

TEST(RingLifecycle, CreateRefusesBadSizesAndDestroyIsHarmlessAfterwards) {
    AudioRingBuffer ring;
    EXPECT_EQ(RingCreate(&ring, 0), 0);
    EXPECT_EQ(RingCreate(nullptr, 16), 0);
    RingDestroy(&ring);  // never created: must not touch a lock
    RingDestroy(nullptr);
    EXPECT_EQ(RingFreeBytes(nullptr), 0);
    EXPECT_EQ(RingUsedBytes(&ring), 0);
    unsigned char b[4] = {};
    EXPECT_EQ(RingWrite(&ring, b, 4), 0);
    EXPECT_EQ(RingRead(nullptr, b, 4), 0);

    ASSERT_EQ(RingCreate(&ring, 8), -1);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(ring.base[i], 0x20);
    RingDestroy(&ring);
    EXPECT_EQ(ring.base, nullptr);
    EXPECT_EQ(ring.capacity, 0);
}

TEST_F(RingTest, WriteBeyondFreeSpaceQueuesOnlyWhatFits) {
    auto src = Bytes(20);
    EXPECT_EQ(RingWrite(&ring, src.data(), 20), 16);
    EXPECT_EQ(RingFreeBytes(&ring), 0);
    std::vector<unsigned char> out(20);
    EXPECT_EQ(RingRead(&ring, out.data(), 20), 16);
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + 16, src.begin()));
}

TEST_F(RingTest, EmptyReadChangesNothingAndEmptyingReturnsToBase) {
    unsigned char out[4];
    EXPECT_EQ(RingRead(&ring, out, 4), 0);
    EXPECT_EQ(ring.readPos, ring.base);
    auto src = Bytes(10);
    RingWrite(&ring, src.data(), 10);
    RingRead(&ring, out, 4);
    EXPECT_EQ(ring.readPos, ring.base + 4);
    std::vector<unsigned char> rest(6);
    RingRead(&ring, rest.data(), 6);
    EXPECT_EQ(ring.readPos, ring.base);
    EXPECT_EQ(ring.writePos, ring.base);
}

TEST_F(RingTest, WrapsAcrossTheEndAndAtTheExactEnd) {
    auto a = Bytes(12);
    std::vector<unsigned char> out(16);
    RingWrite(&ring, a.data(), 12);
    RingRead(&ring, out.data(), 8);  // 4 left at offset 8
    auto b = Bytes(8, 100);
    EXPECT_EQ(RingWrite(&ring, b.data(), 8), 8);  // 4 to the end, 4 from base
    EXPECT_EQ(ring.writePos, ring.base + 4);
    EXPECT_EQ(RingRead(&ring, out.data(), 12), 12);
    EXPECT_EQ(out[0], 8);
    EXPECT_EQ(out[3], 11);
    EXPECT_EQ(out[4], 100);
    EXPECT_EQ(out[11], 107);

    // A write that ends exactly at the end of the storage leaves writePos at base.
    RingDestroy(&ring);
    ASSERT_EQ(RingCreate(&ring, 16), -1);
    auto c = Bytes(16);
    RingWrite(&ring, c.data(), 4);
    RingRead(&ring, out.data(), 2);
    RingWrite(&ring, c.data(), 12);
    EXPECT_EQ(ring.writePos, ring.base);
    RingRead(&ring, out.data(), 2);   // read position reaches offset 4
    RingRead(&ring, out.data(), 12);  // to the exact end, and the ring is empty
    EXPECT_EQ(ring.readPos, ring.base);
}

TEST_F(RingTest, SpaceEventIsSetOnlyAboveTheThresholdAndOnlyOnce) {
    platform::Event ev(platform::Event::Reset::Manual);
    auto src = Bytes(16);
    std::vector<unsigned char> out(16);
    RingWrite(&ring, src.data(), 16);
    RingSetSpaceWait(&ring, &ev, 8);
    RingRead(&ring, out.data(), 8);  // free = 8: equal, not more
    EXPECT_FALSE(ev.TryWait());
    RingRead(&ring, out.data(), 1);  // free = 9
    EXPECT_TRUE(ev.TryWait());
    EXPECT_EQ(ring.spaceEvent, nullptr);
    ev.ResetEvent();
    RingRead(&ring, out.data(), 7);
    EXPECT_FALSE(ev.TryWait());  // disarmed
    RingWrite(&ring, src.data(), 16);
    EXPECT_FALSE(ev.TryWait());  // a write never sets it
}

TEST(WavHeader, LengthsForEmptyAndThreeMinuteFiles) {
    unsigned char h[44];
    auto u32 = [&](int at) {
        return std::uint32_t(h[at]) | std::uint32_t(h[at + 1]) << 8 |
               std::uint32_t(h[at + 2]) << 16 | std::uint32_t(h[at + 3]) << 24;
    };
    BuildWavHeader(h, 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(h), 16),
              std::string("RIFF\x24\0\0\0WAVEfmt ", 16));
    EXPECT_EQ(u32(28), 176400u);
    EXPECT_EQ(u32(40), 0u);
    BuildWavHeader(h, 31752000);
    EXPECT_EQ(u32(4), 31752036u);
    EXPECT_EQ(u32(40), 31752000u);
}

TEST(WavHeader, RewriteKeepsLengthAndAudio) {
    FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(WriteWavHeader(f, 0));
    EXPECT_EQ(std::ftell(f), 44);
    auto audio = Bytes(100);
    std::fwrite(audio.data(), 1, audio.size(), f);
    EXPECT_TRUE(WriteWavHeader(f, 100));
    EXPECT_EQ(std::ftell(f), 44);
    std::fseek(f, 0, SEEK_END);
    EXPECT_EQ(std::ftell(f), 144);
    std::vector<unsigned char> back(144);
    std::rewind(f);
    ASSERT_EQ(std::fread(back.data(), 1, 144, f), 144u);
    EXPECT_EQ(back[40], 100);
    EXPECT_TRUE(std::equal(audio.begin(), audio.end(), back.begin() + 44));
    std::fclose(f);
    EXPECT_TRUE(WriteWavHeader(nullptr, 5));
}

}  // namespace

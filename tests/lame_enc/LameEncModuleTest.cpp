// The encoder module through its published entry points, loaded at run time from
// the program folder by its Windows name, exactly as the rip engine binds it.
#include <gtest/gtest.h>
#include <lame/lame.h>
#include <mpg123.h>
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "lame_enc/BeEncoder.h"
#include "platform/Modules.h"

namespace {

static_assert(offsetof(BeConfig, format.lame.sampleRate) == 12);
static_assert(offsetof(BeConfig, format.lame.writeVbrHeader) == 64);
static_assert(offsetof(BeConfig, format.lame.vbrQuality) == 72);
static_assert(offsetof(BeConfig, format.lame.quality) == 92);
static_assert(offsetof(BeConfig, format.mp3.mode) == 8);
static_assert(offsetof(BeConfig, format.mp3.bitrate) == 9);
static_assert(offsetof(BeConfig, format.mp3.privateBit) == 11);

struct Module {
    Module() {
        platform::SetModuleSearchPath({PROGRAM_FOLDER}, false);
        handle = platform::LoadModule("LAME_ENC.DLL");
        platform::SetModuleSearchPath({}, true);
        init = Get<BeInitStreamFn>("beInitStream");
        encode = Get<BeEncodeChunkFn>("beEncodeChunk");
        deinit = Get<BeDeinitStreamFn>("beDeinitStream");
        close = Get<BeCloseStreamFn>("beCloseStream");
        version = Get<BeVersionFn>("beVersion");
        writeTag = Get<BeWriteVbrHeaderFn>("beWriteVBRHeader");
    }
    ~Module() { platform::FreeModule(handle); }
    template <class Fn>
    Fn Get(const char* name) {
        return reinterpret_cast<Fn>(platform::GetProcAddress(handle, name));
    }
    platform::ModuleHandle handle;
    BeInitStreamFn init;
    BeEncodeChunkFn encode;
    BeDeinitStreamFn deinit;
    BeCloseStreamFn close;
    BeVersionFn version;
    BeWriteVbrHeaderFn writeTag;
};

BeConfig LameRecord() {
    BeConfig c{};
    c.kind = kBeConfigLame;
    c.format.lame.structVersion = 1;
    c.format.lame.structSize = sizeof(BeConfig);
    c.format.lame.sampleRate = 44100;
    c.format.lame.mode = kBeModeStereo;
    c.format.lame.bitrate = 192;
    c.format.lame.maxBitrate = 320;
    c.format.lame.preset = kBePresetHigh;
    c.format.lame.mpegVersion = kBeMpeg1;
    c.format.lame.writeVbrHeader = 1;
    c.format.lame.enableVbr = 1;
    c.format.lame.vbrQuality = 5;
    return c;
}

BeConfig PlainRecord(std::uint16_t kbps) {
    BeConfig c{};
    c.kind = kBeConfigMp3;
    c.format.mp3.sampleRate = 44100;
    c.format.mp3.mode = kBeModeStereo;
    c.format.mp3.bitrate = kbps;
    return c;
}

// Interleaved stereo: a tone with some noise, so frames are never silent.
std::vector<std::int16_t> TestPcm(std::size_t frames) {
    std::vector<std::int16_t> pcm(frames * 2);
    std::uint32_t s = 12345;
    for (std::size_t i = 0; i < frames; ++i) {
        s = s * 1103515245u + 12345u;
        const double tone = 8000 * std::sin(2 * M_PI * 440 * static_cast<double>(i) / 44100);
        pcm[2 * i] = static_cast<std::int16_t>(tone + static_cast<int>((s >> 16) % 2001) - 1000);
        pcm[2 * i + 1] = static_cast<std::int16_t>(-tone);
    }
    return pcm;
}

class LameEncTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(m.handle, nullptr);
        // CTest runs the tests of this file in parallel processes: one file each.
        path = ::testing::TempDir() + "lame_enc_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
               std::to_string(::getpid()) + ".mp3";
    }
    void TearDown() override { std::remove(path.c_str()); }

    // Encodes pcm through a stream of `config` into the file at path.
    void EncodeFile(BeConfig config, const std::vector<std::int16_t>& pcm) {
        std::uint32_t samples = 0, size = 0;
        BeStream s = 0;
        ASSERT_EQ(m.init(&config, &samples, &size, &s), kBeOk);
        ASSERT_NE(s, 0u);
        std::vector<std::uint8_t> out(size);
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        for (std::size_t at = 0; at < pcm.size(); at += samples) {
            const auto n =
                static_cast<std::uint32_t>(std::min<std::size_t>(samples, pcm.size() - at));
            std::uint32_t len = 0;
            ASSERT_EQ(m.encode(s, n, pcm.data() + at, out.data(), &len), kBeOk);
            std::fwrite(out.data(), 1, len, f);
        }
        std::uint32_t len = 0;
        ASSERT_EQ(m.deinit(s, out.data(), &len), kBeOk);
        std::fwrite(out.data(), 1, len, f);
        EXPECT_EQ(m.close(s), kBeOk);
        std::fclose(f);
    }
    std::vector<unsigned char> File() const {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // The bit rates (kbit/s) of the MPEG-1 layer III frames of the file, in order.
    static std::vector<int> FrameBitrates(const std::vector<unsigned char>& f) {
        static const int kRates[16] = {0,   32,  40,  48,  56,  64,  80,  96,
                                       112, 128, 160, 192, 224, 256, 320, 0};
        std::vector<int> rates;
        std::size_t at = 0;
        while (at + 4 <= f.size() && f[at] == 0xFF && (f[at + 1] & 0xFE) == 0xFA) {
            const int rate = kRates[f[at + 2] >> 4];
            if (rate == 0) break;
            rates.push_back(rate);
            at += static_cast<std::size_t>(144000 * rate / 44100 + ((f[at + 2] >> 1) & 1));
        }
        return rates;
    }

    Module m;
    std::string path;
};

TEST_F(LameEncTest, VersionIsTheLibrarysOwn) {
    BeVersion v;
    std::memset(&v, 0xAB, sizeof v);
    m.version(&v);
    lame_version_t lib{};
    get_lame_version_numerical(&lib);
    EXPECT_EQ(v.encoderMajor, lib.major);
    EXPECT_EQ(v.encoderMinor, lib.minor);
    EXPECT_GE(v.moduleMajor * 256 + v.moduleMinor, 260);
    EXPECT_GT(std::strlen(v.homepage), 0u);
    EXPECT_EQ(v.reserved[0], 0);
}

TEST_F(LameEncTest, VbrStreamGetsItsInfoTagAndDecodesToTheExactLength) {
    const auto pcm = TestPcm(44100 * 3 + 123);
    EncodeFile(LameRecord(), pcm);
    const auto before = File();
    ASSERT_EQ(m.writeTag(path.c_str()), kBeOk);
    const auto after = File();
    ASSERT_EQ(after.size(), before.size());
    const std::string head(after.begin(), after.begin() + 400);
    EXPECT_NE(head.find("Xing"), std::string::npos);
    EXPECT_NE(head.find("LAME"), std::string::npos);
    EXPECT_EQ(std::string(before.begin(), before.begin() + 400).find("LAME"), std::string::npos);

    // Bit rates stay within the record's minimum and maximum, and do vary.
    auto rates = FrameBitrates(after);
    ASSERT_GT(rates.size(), 100u);
    rates.erase(rates.begin());  // the tag frame
    int lo = 999, hi = 0;
    for (int r : rates) lo = std::min(lo, r), hi = std::max(hi, r);
    EXPECT_GE(lo, 192);
    EXPECT_LE(hi, 320);

    // Gapless decoding trims the encoder delay and padding named in the tag.
    int err = 0;
    mpg123_handle* mh = mpg123_new(nullptr, &err);
    ASSERT_NE(mh, nullptr);
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0);
    ASSERT_EQ(mpg123_open(mh, path.c_str()), MPG123_OK);
    mpg123_scan(mh);
    EXPECT_EQ(mpg123_length(mh), 44100 * 3 + 123);
    mpg123_close(mh);
    mpg123_delete(mh);

    // The tag is used once.
    EXPECT_NE(m.writeTag(path.c_str()), kBeOk);
}

TEST_F(LameEncTest, PlainRecordGivesConstantRateWithoutTag) {
    EncodeFile(PlainRecord(128), TestPcm(44100));
    EXPECT_NE(m.writeTag(path.c_str()), kBeOk);
    const auto f = File();
    const auto rates = FrameBitrates(f);
    ASSERT_GT(rates.size(), 30u);
    for (int r : rates) EXPECT_EQ(r, 128);
    EXPECT_EQ(std::string(f.begin(), f.begin() + 200).find("Xing"), std::string::npos);
    EXPECT_EQ(std::string(f.begin(), f.begin() + 200).find("Info"), std::string::npos);
}

TEST_F(LameEncTest, BadRecordsHandlesAndChunksAreRefused) {
    std::uint32_t samples = 0, size = 0, len = 0;
    BeStream s = 0;
    BeConfig bad = LameRecord();
    bad.kind = 5;
    EXPECT_EQ(m.init(&bad, &samples, &size, &s), kBeInvalidFormat);
    bad = PlainRecord(128);
    bad.format.mp3.sampleRate = 12345;
    EXPECT_EQ(m.init(&bad, &samples, &size, &s), kBeInvalidFormatParameters);
    EXPECT_EQ(s, 0u);
    EXPECT_EQ(m.init(nullptr, &samples, &size, &s), kBeInvalidFormatParameters);

    std::uint8_t out[16];
    EXPECT_EQ(m.encode(12345, 4, nullptr, out, &len), kBeInvalidHandle);
    EXPECT_EQ(m.deinit(12345, out, &len), kBeInvalidHandle);
    EXPECT_EQ(m.close(12345), kBeInvalidHandle);

    BeConfig mono = PlainRecord(64);
    mono.format.mp3.mode = kBeModeMono;
    ASSERT_EQ(m.init(&mono, &samples, &size, &s), kBeOk);
    EXPECT_EQ(samples, 1152u);  // one channel: one frame's samples
    std::vector<std::int16_t> pcm(samples + 2);
    std::vector<std::uint8_t> buf(size);
    EXPECT_EQ(m.encode(s, samples + 2, pcm.data(), buf.data(), &len), kBeInvalidFormatParameters);
    EXPECT_EQ(m.close(s), kBeOk);
    EXPECT_EQ(m.close(s), kBeInvalidHandle);  // a closed stream is gone
}

TEST_F(LameEncTest, AStreamClosedUnfinishedForgetsTheKeptTag) {
    EncodeFile(LameRecord(), TestPcm(44100));
    BeConfig c = LameRecord();
    std::uint32_t samples = 0, size = 0;
    BeStream s = 0;
    ASSERT_EQ(m.init(&c, &samples, &size, &s), kBeOk);
    EXPECT_EQ(m.close(s), kBeOk);
    const auto before = File();
    EXPECT_NE(m.writeTag(path.c_str()), kBeOk);
    EXPECT_EQ(File(), before);
}

}  // namespace

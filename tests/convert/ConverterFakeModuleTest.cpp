// The converter engine against a fake encoder module (FakeOrvam.cpp). The fake is
// built under the program's module name into test-only folders; each test points the
// module search (platform::SetModuleSearchPath) at one of them and binds again, then
// reaches the fake's control block through the same loaded module to script its
// answers and read back the exact calls and sample values the engine handed over.
#include <gtest/gtest.h>

#include <atomic>

#include <cstdlib>
#include <cstring>
#include <limits>

#include "FakeOrvam.h"
#include "TestAudio.h"
#include "convert/ConverterEngine.h"
#include "convert/ConverterLibrary.h"
#include "platform/Modules.h"
#include "platform/Sync.h"

using namespace convert;

namespace {

// The engine's clock: the real one, or SteppingClock while a test asks for it.
std::atomic<bool> g_steppingClock{false};
std::uint32_t FixtureClock() {
    return g_steppingClock ? SteppingClock() : platform::TickCount();
}

class ConverterFakeModuleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = MakeTempFolder();
        ASSERT_FALSE(folder_.empty());
        UseModuleIn(TM_FAKE_ORVAM_DIR);
        ASSERT_EQ(1, engine_.IsLoaded());
    }
    void TearDown() override {
        g_steppingClock = false;
        if (self_) platform::FreeModule(self_);
        library_.Release();
        platform::SetModuleSearchPath({}, true);
        RemoveFolder(folder_);
    }

    void UseModuleIn(const char* dir) {
        platform::SetModuleSearchPath({dir}, false);
        library_.Bind();
        if (self_) platform::FreeModule(self_);
        self_ = platform::LoadModule("DLL_ORVAM.dll");
        auto control = reinterpret_cast<FakeOrvamControlFn>(
            platform::GetProcAddress(self_, "FakeOrvamControl"));
        fake_ = control ? control() : nullptr;
        if (fake_) *fake_ = FakeOrvamState{};
    }

    std::string Path(const std::string& name) const { return folder_ + "/" + name; }

    int Convert(const std::vector<std::int16_t>& values, std::uint32_t rate, int channels,
                int bitRate, EventLog* log) {
        WriteWav(Path("in.wav"), rate, channels, values);
        ConvertProgress progress;
        progress.context = log;
        progress.notify = &LogEvent;
        return engine_.Convert(Path("in.wav").c_str(), Path("out.mp3").c_str(), bitRate, 0,
                               log ? &progress : nullptr);
    }

    ConverterLibrary library_;
    ConverterEngine engine_{library_, &FixtureClock};
    std::string folder_;
    platform::ModuleHandle self_ = nullptr;
    FakeOrvamState* fake_ = nullptr;
};

// Interleaved ramps: left counts up from 0, right counts down from 0, in steps.
std::vector<std::int16_t> Ramps(std::size_t frames, int channels, int step = 8) {
    std::vector<std::int16_t> v;
    for (std::size_t i = 0; i < frames; ++i) {
        v.push_back(static_cast<std::int16_t>(step * static_cast<int>(i)));
        if (channels == 2) v.push_back(static_cast<std::int16_t>(-step * static_cast<int>(i)));
    }
    return v;
}

TEST_F(ConverterFakeModuleTest, OpensTheStreamWithTheMappedRateModeAndBitRate) {
    ASSERT_TRUE(fake_);
    struct Case {
        std::uint32_t rate;
        int channels;
        int bitRate;
        std::int32_t wantRate, wantMode, wantBitRate;
    } cases[] = {
        {44100, 2, 192, 44100, 1, 192}, {48000, 1, 64, 48000, 3, 64},
        {22050, 2, 64, 44100, 1, 64},   {32000, 1, 64, 44100, 3, 128},
        {32000, 2, 160, 44100, 1, 160}, {11025, 1, 56, 11025, 3, 56},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz " << c.channels << " ch " << c.bitRate);
        *fake_ = FakeOrvamState{};
        ASSERT_EQ(kConvertOk,
                  Convert(Ramps(100, c.channels), c.rate, c.channels, c.bitRate, nullptr));
        EXPECT_EQ(c.wantRate, fake_->sampleRate);
        EXPECT_EQ(c.wantMode, fake_->channelMode);
        EXPECT_EQ(c.wantBitRate, fake_->bitRate);
        EXPECT_EQ(Path("out.mp3") + ".part", fake_->target);
        EXPECT_EQ(1, fake_->closes);
    }
}

TEST_F(ConverterFakeModuleTest, RateKeptSourcePassesUnchangedInChunksOfE) {
    ASSERT_TRUE(fake_);
    fake_->e = 1000;
    const auto values = Ramps(2600, 2);
    ASSERT_EQ(kConvertOk, Convert(values, 44100, 2, 192, nullptr));
    EXPECT_EQ(values, fake_->values);
    EXPECT_EQ((std::vector<std::uint32_t>{1000, 1000, 1000, 1000, 1000, 200}), fake_->chunkSizes);

    // "Single track" mixes the channels at full scale without overflowing.
    *fake_ = FakeOrvamState{};
    engine_.SetChannels(Channels::Mixed);
    const std::vector<std::int16_t> loud = {32767,  32767, -32768, -32768, 32767,
                                            -32768, 30000, 20000,  -30000, -20001};
    ASSERT_EQ(kConvertOk, Convert(loud, 44100, 2, 192, nullptr));
    EXPECT_EQ((std::vector<std::int16_t>{32767, -32768, 0, 25000, -25000}), fake_->values);
}

// The whole-file sequence of a doubled channel x: x0, then for every t the average of
// x[t-1] and x[t] followed by x[t] (x[-1] = x0), cut to the count handed over.
std::vector<std::int16_t> Doubled(const std::vector<std::int16_t>& x) {
    std::vector<std::int16_t> y;
    for (std::size_t t = 0; t < x.size(); ++t) {
        const int before = t ? x[t - 1] : x[0];
        y.push_back(static_cast<std::int16_t>((before + x[t]) / 2));
        y.push_back(x[t]);
    }
    return y;
}

// 22050 Hz: every read doubles; each channel is interpolated from its own values,
// and the value at a read's start leans on the previous read's last value, so the
// whole file follows one sequence with no seam at the chunk edges.
TEST_F(ConverterFakeModuleTest, DoublesA22050SourceChannelByChannelAcrossReads) {
    ASSERT_TRUE(fake_);
    fake_->e = 64;  // reads of 32 values: many chunk edges
    for (int channels : {1, 2}) {
        SCOPED_TRACE(channels);
        *fake_ = FakeOrvamState{};
        fake_->e = 64;
        const std::size_t frames = 1000;
        const auto values = Ramps(frames, channels);
        ASSERT_EQ(kConvertOk, Convert(values, 22050, channels, 128, nullptr));
        ASSERT_EQ(values.size() * 2, fake_->values.size());
        for (int c = 0; c < channels; ++c) {
            std::vector<std::int16_t> in, out;
            for (std::size_t i = c; i < values.size(); i += channels) in.push_back(values[i]);
            for (std::size_t i = c; i < fake_->values.size(); i += channels)
                out.push_back(fake_->values[i]);
            EXPECT_EQ(Doubled(in), out) << "channel " << c;
        }
    }
}

// One channel of a 32000 Hz file mapped onto 44100 Hz, computed from the mapping's
// rule by counting rather than by walking the positions: a read of f frames from
// source frame s gives `fullOut` frames when full, else floor(441 x f / 320) (even for
// one channel). Output frame p > 0 takes source frame i = max(0, f - 1 - plain), where
// plain counts the positions above p that are not every 4th, 37th or 137th (by
// inclusion and exclusion); at such an inserted position it takes the average of
// frames i - 1 and i instead, frame i - 1 of the frame before the read.
std::vector<std::int16_t> Mapped32000(const std::vector<std::int16_t>& x, std::size_t readFrames,
                                      std::size_t fullOut, bool mono) {
    auto insertedUpTo = [](long n) {
        return n / 4 + n / 37 + n / 137 - n / 148 - n / 548 - n / 5069 + n / 20276;
    };
    std::vector<std::int16_t> y;
    for (std::size_t s = 0; s < x.size(); s += readFrames) {
        const long f = static_cast<long>(std::min(readFrames, x.size() - s));
        const bool full = f == static_cast<long>(readFrames);
        const long out = full ? static_cast<long>(fullOut) : 441 * f / 320;
        y.push_back(x[s]);
        for (long p = 1; p < out; ++p) {
            const long plain = (out - 1 - p) - (insertedUpTo(out - 1) - insertedUpTo(p));
            const std::size_t i = s + static_cast<std::size_t>(std::max(0L, f - 1 - plain));
            const bool inserted = insertedUpTo(p) != insertedUpTo(p - 1);
            y.push_back(inserted ? static_cast<std::int16_t>((x[i == 0 ? 0 : i - 1] + x[i]) / 2)
                                 : x[i]);
        }
        if (mono && !full && out % 2 == 1) y.pop_back();
    }
    return y;
}

// 32000 Hz: a full read of floor(320 x e / 441) + 1 frames becomes e values. Each
// channel is mapped from its own values only: with a left ramp in steps of 4 and its
// mirror on the right, every left value is a ramp value or the average of two
// neighbouring ones (even and in range), moves by at most a few steps from the one
// before (no unset value or a value from another read slips in at an edge), and the
// right is always the left's mirror.
TEST_F(ConverterFakeModuleTest, Maps32000SourceOntoE44100ValuesPerReadChannelByChannel) {
    ASSERT_TRUE(fake_);
    for (int channels : {1, 2}) {
        SCOPED_TRACE(channels);
        *fake_ = FakeOrvamState{};
        const std::uint32_t e = fake_->e = 576;
        const std::size_t readFrames = 320 * (e / channels) / 441 + 1;
        const std::size_t frames = 10 * readFrames + 100;  // ten full reads and a short one
        const int last = 4 * static_cast<int>(frames - 1);
        ASSERT_LE(last, 32767);
        ASSERT_EQ(kConvertOk, Convert(Ramps(frames, channels, 4), 32000, channels, 128, nullptr));
        ASSERT_EQ(11u, fake_->chunkSizes.size());
        for (int i = 0; i < 10; ++i) EXPECT_EQ(e, fake_->chunkSizes[i]);
        std::uint32_t lastFrames = 441 * 100 / 320;
        if (channels == 1) lastFrames &= ~1u;
        EXPECT_EQ(lastFrames * channels, fake_->chunkSizes[10]);

        const auto& out = fake_->values;
        for (std::size_t i = 0; i < out.size(); i += channels) {
            ASSERT_EQ(0, out[i] % 2) << "left value " << i / channels;
            ASSERT_GE(out[i], 0);
            ASSERT_LE(out[i], last);
            if (i >= static_cast<std::size_t>(channels)) {
                ASSERT_LE(std::abs(out[i] - out[i - channels]), 16)
                    << "left value " << i / channels;
            }
            if (channels == 2) {
                ASSERT_EQ(-out[i], out[i + 1]) << "right value " << i / 2;
            }
        }
        // The last value handed over is close to the source's last frame: nothing lost
        // or invented over the file.
        EXPECT_GE(out[out.size() - channels], last - 16);
        // And every value is exactly the one the mapping's rule gives.
        const auto in = Ramps(frames, channels, 4);
        for (int c = 0; c < channels; ++c) {
            std::vector<std::int16_t> source, got;
            for (std::size_t i = c; i < in.size(); i += channels) source.push_back(in[i]);
            for (std::size_t i = c; i < out.size(); i += channels) got.push_back(out[i]);
            EXPECT_EQ(Mapped32000(source, readFrames, e / channels, channels == 1), got)
                << "channel " << c;
        }
    }
}

TEST_F(ConverterFakeModuleTest, FailingChunkGivesFourWithProgressAndOneWithout) {
    ASSERT_TRUE(fake_);
    fake_->failAtChunk = 3;
    EventLog log;
    EXPECT_EQ(kConvertResultFailed, Convert(Ramps(20000, 2), 44100, 2, 192, &log));
    EXPECT_EQ(kConvertFailed, log.types.back());
    EXPECT_EQ(3, fake_->chunks);
    EXPECT_EQ(0, fake_->closes);  // no close after a failed chunk

    *fake_ = FakeOrvamState{};
    fake_->failAtChunk = 2;
    EXPECT_EQ(kConvertChunkFailedSilently, Convert(Ramps(20000, 2), 44100, 2, 192, nullptr));
    EXPECT_EQ(2, fake_->chunks);

    *fake_ = FakeOrvamState{};
    fake_->throwAtChunk = 2;
    EventLog thrown;
    EXPECT_EQ(kConvertResultFailed, Convert(Ramps(20000, 2), 44100, 2, 192, &thrown));
    EXPECT_EQ(kConvertFailed, thrown.types.back());
    EXPECT_EQ(0, fake_->closes);
}

// A stream the module refuses, or a close that fails to write the end of the file,
// is a failed conversion, not a converted one.
TEST_F(ConverterFakeModuleTest, RefusedOpenAndFailedCloseAreFailures) {
    ASSERT_TRUE(fake_);
    fake_->refuseOpen = true;
    EventLog log;
    EXPECT_EQ(kConvertResultFailed, Convert(Ramps(100, 2), 44100, 2, 192, &log));
    EXPECT_EQ((std::vector<std::int32_t>{kConvertFailed}), log.types);
    EXPECT_EQ(0, fake_->chunks);

    *fake_ = FakeOrvamState{};
    fake_->closeResult = 0;
    EventLog closing;
    EXPECT_EQ(kConvertResultFailed, Convert(Ramps(100, 2), 44100, 2, 192, &closing));
    EXPECT_EQ(kConvertFailed, closing.types.back());
}

TEST_F(ConverterFakeModuleTest, ModuleWithoutCloseIsNotLoaded) {
    UseModuleIn(TM_FAKE_ORVAM_NOCLOSE_DIR);
    EXPECT_EQ(0, engine_.IsLoaded());
    EXPECT_EQ(kConvertNotLoaded, Convert(Ramps(100, 2), 44100, 2, 192, nullptr));
}

std::int32_t AbortOnFirstEvent(std::int32_t type, double fraction, std::uint32_t ms, void* context,
                               void* context2) {
    if (type == kConvertRunning) static_cast<ConverterEngine*>(context2)->Abort();
    return LogEvent(type, fraction, ms, context, nullptr);
}

std::int32_t StopOnFirstEvent(std::int32_t type, double fraction, std::uint32_t ms, void* context,
                              void*) {
    LogEvent(type, fraction, ms, context, nullptr);
    return type == kConvertRunning ? 0 : 1;
}

// An abort is seen at the top of the next chunk and the stream is still closed, with
// or without a progress function; an abort before Convert is forgotten; a progress function
// answering 0 ends the conversion as if the data had ended.
TEST_F(ConverterFakeModuleTest, AbortAndStopTakeEffectBetweenChunks) {
    ASSERT_TRUE(fake_);
    g_steppingClock = true;
    WriteWav(Path("in.wav"), 44100, 2, Ramps(20000, 2));
    const std::string in = Path("in.wav"), out = Path("out.mp3");

    EventLog aborted;
    ConvertProgress progress{&aborted, &engine_, &AbortOnFirstEvent};
    EXPECT_EQ(kConvertResultAborted, engine_.Convert(in.c_str(), out.c_str(), 192, 0, &progress));
    EXPECT_EQ(kConvertAborted, aborted.types.back());
    EXPECT_EQ(1, fake_->chunks);  // the chunk after the event is still encoded
    EXPECT_EQ(1, fake_->closes);

    // Without a progress function an aborted conversion still says so.
    *fake_ = FakeOrvamState{};
    fake_->onChunk = [](void* engine) { static_cast<ConverterEngine*>(engine)->Abort(); };
    fake_->onChunkArg = &engine_;
    EXPECT_EQ(kConvertResultAborted, engine_.Convert(in.c_str(), out.c_str(), 192, 0, nullptr));
    EXPECT_EQ(1, fake_->chunks);
    EXPECT_EQ(1, fake_->closes);

    *fake_ = FakeOrvamState{};
    engine_.Abort();
    EXPECT_EQ(kConvertOk, engine_.Convert(in.c_str(), out.c_str(), 192, 0, nullptr));
    EXPECT_EQ(1, fake_->closes);

    *fake_ = FakeOrvamState{};
    EventLog stopped;
    ConvertProgress stopping{&stopped, nullptr, &StopOnFirstEvent};
    EXPECT_EQ(kConvertOk, engine_.Convert(in.c_str(), out.c_str(), 192, 0, &stopping));
    EXPECT_EQ((std::vector<std::int32_t>{kConvertRunning, kConvertFinished}), stopped.types);
    EXPECT_EQ(0, fake_->chunks);
    EXPECT_EQ(1, fake_->closes);
}

// Sources wider or narrower than 16 bits, plain or extensible, reach the module as
// 16-bit values: 8-bit shifted up from unsigned, 24 and 32-bit rounded to the nearest
// 16-bit step, float scaled by 32768; whatever lies past the 16-bit range is clipped.
TEST_F(ConverterFakeModuleTest, ReducesEverySampleFormatTo16BitsRoundedAndClipped) {
    ASSERT_TRUE(fake_);
    auto le = [](std::initializer_list<std::uint32_t> values, int bytes) {
        std::string s;
        for (std::uint32_t v : values)
            for (int i = 0; i < bytes; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
        return s;
    };
    auto floats = [](std::initializer_list<float> values) {
        std::string s;
        for (float f : values) {
            std::uint32_t bits;
            std::memcpy(&bits, &f, sizeof bits);
            for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
        }
        return s;
    };
    struct Case {
        const char* name;
        std::uint16_t tag;
        int bits;
        std::string samples;
        std::vector<std::int16_t> want;
    } cases[] = {
        {"8-bit", 1, 8, le({0, 127, 128, 129, 255}, 1), {-32768, -256, 0, 256, 32512}},
        {"24-bit",
         1,
         24,
         le({0x7FFFFF, 0x800000, 0x000080, 0x00007F, 0xFFFF7F, 0xFFFF80, 0x123456, 0x1234C0}, 3),
         {32767, -32768, 1, 0, -1, 0, 0x1234, 0x1235}},
        {"32-bit",
         1,
         32,
         le({0x7FFFFFFF, 0x80000000, 0x00008000, 0x00007FFF, 0xFFFF7FFF, 0x12348000}, 4),
         {32767, -32768, 1, 0, -1, 0x1235}},
        {"float",
         3,
         32,
         floats({0.5f, -0.5f, 1.0f, -1.0f, 1.5f, -2.0f, 0.6f / 32768, -0.4f / 32768,
                 std::numeric_limits<float>::quiet_NaN()}),
         {16384, -16384, 32767, -32768, 32767, -32768, 1, 0, 0}},
    };
    for (const Case& c : cases) {
        for (bool extensible : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.name << (extensible ? " extensible" : " plain"));
            *fake_ = FakeOrvamState{};
            WriteWavSamples(Path("in.wav"), 44100, 1, c.tag, c.bits, c.samples, extensible);
            ASSERT_EQ(kConvertOk, engine_.Convert(Path("in.wav").c_str(), Path("out.mp3").c_str(),
                                                  192, 0, nullptr));
            EXPECT_EQ(c.want, fake_->values);
            EXPECT_TRUE(engine_.LastProblem().empty());
        }
    }
}

// A source cut short (its data chunk declares more than the file holds, or the file
// ends inside a sample frame) is converted as far as it goes and reported as
// truncated, not as finished.
TEST_F(ConverterFakeModuleTest, TruncatedSourceConvertsWhatItHoldsAndSaysSo) {
    ASSERT_TRUE(fake_);
    const auto values = Ramps(3000, 2);
    std::string bytes;
    for (std::int16_t v : values) {
        bytes.push_back(static_cast<char>(v & 0xFF));
        bytes.push_back(static_cast<char>((v >> 8) & 0xFF));
    }
    WriteWavSamples(Path("in.wav"), 44100, 2, 1, 16, bytes, false,
                    static_cast<std::uint32_t>(2 * bytes.size()));
    EventLog log;
    ConvertProgress progress{&log, nullptr, &LogEvent};
    EXPECT_EQ(kConvertResultTruncated,
              engine_.Convert(Path("in.wav").c_str(), Path("out.mp3").c_str(), 192, 0, &progress));
    EXPECT_EQ(kConvertTruncated, log.types.back());
    EXPECT_EQ(values, fake_->values);
    EXPECT_EQ(1, fake_->closes);
    EXPECT_NE(std::string::npos, engine_.LastProblem().find("truncated"));

    // Cut inside a frame, without a progress function: the whole frames are converted.
    *fake_ = FakeOrvamState{};
    WriteWavSamples(Path("in.wav"), 44100, 2, 1, 16, bytes.substr(0, bytes.size() - 1));
    EXPECT_EQ(kConvertResultTruncated,
              engine_.Convert(Path("in.wav").c_str(), Path("out.mp3").c_str(), 192, 0, nullptr));
    EXPECT_EQ(std::vector<std::int16_t>(values.begin(), values.end() - 2), fake_->values);
}

}  // namespace

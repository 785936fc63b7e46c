// The converter engine with the real encoder module: what a listener would notice in
// the MP3 files it writes (length, rate, the same audio, channels kept apart), and
// what it does with sources it cannot convert.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <utility>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <fstream>
#include <iterator>
#include <thread>
#include <tuple>
#include <utility>

#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tpropertymap.h>
#include <taglib/wavfile.h>

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

class ConverterEngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::SetModuleSearchPath({TM_BIN_DIR}, false);
        library_.Bind();
        folder_ = MakeTempFolder();
        ASSERT_FALSE(folder_.empty());
    }
    void TearDown() override {
        g_steppingClock = false;
        library_.Release();
        platform::SetModuleSearchPath({}, true);
        RemoveFolder(folder_);
    }
    std::string Path(const std::string& name) const { return folder_ + "/" + name; }

    int Convert(const std::string& source, const std::string& target, int bitRate, EventLog* log) {
        ConvertProgress progress;
        progress.context = log;
        progress.notify = log ? &LogEvent : nullptr;
        return engine_.Convert(source.c_str(), target.c_str(), bitRate, 0,
                               log ? &progress : nullptr);
    }

    ConverterLibrary library_;
    ConverterEngine engine_{library_, &FixtureClock};
    std::string folder_;
};

TEST_F(ConverterEngineTest, StereoSourceDecodesToTheSameAudioAndLength) {
    const std::size_t frames = 3 * 44100;
    const auto audio = Sines(44100, frames, {440.0, 660.0});
    WriteWav(Path("in.wav"), 44100, 2, audio);
    EventLog log;
    ASSERT_EQ(kConvertOk, Convert(Path("in.wav"), Path("out.mp3"), 192, &log));
    ASSERT_FALSE(log.types.empty());
    EXPECT_EQ(kConvertFinished, log.types.back());

    const DecodedMp3 mp3 = DecodeMp3(Path("out.mp3"));
    ASSERT_TRUE(mp3.ok);
    EXPECT_EQ(44100, mp3.rate);
    EXPECT_EQ(2, mp3.channels);
    EXPECT_EQ(192, mp3.bitRate);
    EXPECT_NEAR(static_cast<double>(frames), static_cast<double>(mp3.Frames()), 1152.0);
    for (int c = 0; c < 2; ++c) {
        EXPECT_GT(BestCorrelation(Channel(audio, 2, c), Channel(mp3.values, 2, c), 1200, 8192),
                  0.98)
            << "channel " << c;
    }
}

// 22050 Hz and 32000 Hz sources reach the encoder as 44100 Hz: the MP3 plays at 44100
// Hz for as long as the source and the tone is intact; a two-channel source keeps its
// silent right channel silent (a resampler that mixed or shifted the channels fails).
class ResampledSourceTest : public ConverterEngineTest,
                            public ::testing::WithParamInterface<std::tuple<std::uint32_t, int>> {};

TEST_P(ResampledSourceTest, ComesOutAt44100WithItsDurationAndChannels) {
    const auto [rate, channels] = GetParam();
    const std::size_t frames = 2 * rate;
    const std::vector<double> tones =
        channels == 2 ? std::vector<double>{440.0, 0.0} : std::vector<double>{440.0};
    WriteWav(Path("in.wav"), rate, channels, Sines(rate, frames, tones));
    ASSERT_EQ(kConvertOk, Convert(Path("in.wav"), Path("out.mp3"), 128, nullptr));

    const DecodedMp3 mp3 = DecodeMp3(Path("out.mp3"));
    ASSERT_TRUE(mp3.ok);
    EXPECT_EQ(44100, mp3.rate);
    ASSERT_EQ(channels, mp3.channels);
    EXPECT_NEAR(2.0 * 44100, static_cast<double>(mp3.Frames()), 1152.0);
    const auto first = Channel(mp3.values, channels, 0);
    const auto reference = Channel(Sines(44100, mp3.Frames(), {440.0}), 1, 0);
    EXPECT_GT(BestCorrelation(reference, first, 1200, 8192), 0.95);
    if (channels == 2) {
        EXPECT_LT(Rms(Channel(mp3.values, 2, 1)), 0.02 * Rms(first));
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, ResampledSourceTest,
                         ::testing::Combine(::testing::Values(22050u, 32000u),
                                            ::testing::Values(1, 2)));

// Chunks before "fmt " and after the audio are not audio: the MP3 is as long as the
// data chunk says, not as long as the file.
// The channel choice turns a stereo source into a mono MP3 of the left channel, the
// right one or both mixed; at 22050 Hz the mix-down follows the resampling. The tones
// differ per channel, so a choice that took the wrong channel fails the correlation.
TEST_F(ConverterEngineTest, ChannelChoiceGivesMonoOfLeftRightOrBoth) {
    for (const std::uint32_t rate : {44100u, 22050u}) {
        const std::size_t frames = 2 * rate;
        const auto audio = Sines(rate, frames, {440.0, 1000.0});
        WriteWav(Path("in.wav"), rate, 2, audio);
        std::vector<double> mixed;
        for (std::size_t i = 0; i < frames; ++i) {
            mixed.push_back((static_cast<double>(audio[2 * i]) + audio[2 * i + 1]) / 2.0);
        }
        const std::vector<double> expected[] = {Channel(audio, 2, 0), Channel(audio, 2, 1), mixed};
        const Channels choices[] = {Channels::Left, Channels::Right, Channels::Mixed};
        for (int c = 0; c < 3; ++c) {
            engine_.SetChannels(choices[c]);
            ASSERT_EQ(kConvertOk, Convert(Path("in.wav"), Path("out.mp3"), 128, nullptr));
            const DecodedMp3 mp3 = DecodeMp3(Path("out.mp3"));
            ASSERT_TRUE(mp3.ok);
            EXPECT_EQ(1, mp3.channels);
            EXPECT_EQ(44100, mp3.rate);
            EXPECT_NEAR(2.0 * 44100, static_cast<double>(mp3.Frames()), 1152.0);
            // Compared at the source's rate: every second decoded value at 22050 Hz.
            std::vector<double> decoded;
            const std::size_t step = rate == 22050 ? 2 : 1;
            for (std::size_t i = 0; i < mp3.values.size(); i += step) {
                decoded.push_back(mp3.values[i]);
            }
            EXPECT_GT(BestCorrelation(expected[c], decoded, 1200, 8192), 0.95)
                << "rate " << rate << " choice " << c;
        }
    }
    EXPECT_EQ(Channels::Stereo, core::ChannelsForIndex(-1));
    EXPECT_EQ(Channels::Stereo, core::ChannelsForIndex(4));
    EXPECT_EQ(Channels::Mixed, core::ChannelsForIndex(3));
}

TEST_F(ConverterEngineTest, FindsTheChunksWhereverTheyStand) {
    const auto audio = Sines(44100, 44100, {440.0, 660.0});
    WavLayout layout;
    layout.listChunkFirst = true;
    layout.trailingChunkBytes = 100000;
    layout.oddChunkBeforeData = true;  // its pad byte must be stepped over
    WriteWav(Path("in.wav"), 44100, 2, audio, layout);
    ASSERT_EQ(kConvertOk, Convert(Path("in.wav"), Path("out.mp3"), 192, nullptr));
    const DecodedMp3 mp3 = DecodeMp3(Path("out.mp3"));
    ASSERT_TRUE(mp3.ok);
    EXPECT_NEAR(44100.0, static_cast<double>(mp3.Frames()), 1152.0);
    EXPECT_GT(BestCorrelation(Channel(audio, 2, 0), Channel(mp3.values, 2, 0), 1200, 8192), 0.98);
}

TEST_F(ConverterEngineTest, FileShorterThanOneReadConvertsWithProgressFromZero) {
    g_steppingClock = true;
    WriteWav(Path("in.wav"), 44100, 2, Sines(44100, 100, {440.0, 440.0}));
    EventLog log;
    ASSERT_EQ(kConvertOk, Convert(Path("in.wav"), Path("out.mp3"), 192, &log));
    EXPECT_EQ((std::vector<double>{0.0}), log.Running());
    EXPECT_EQ(kConvertFinished, log.types.back());
    const DecodedMp3 mp3 = DecodeMp3(Path("out.mp3"));
    ASSERT_TRUE(mp3.ok);
    EXPECT_LT(mp3.Frames(), 2000u);
    // A stop that comes once the only chunk is read leaves a whole file, told as such.
    EventLog stoppedLate;
    ConvertProgress progress;
    progress.context = &stoppedLate;
    progress.context2 = &engine_;
    progress.notify = [](std::int32_t type, double fraction, std::uint32_t ms, void* log,
                         void* engine) {
        static_cast<ConverterEngine*>(engine)->Abort();
        return LogEvent(type, fraction, ms, log, nullptr);
    };
    EXPECT_EQ(kConvertOk,
              engine_.Convert(Path("in.wav").c_str(), Path("late.mp3").c_str(), 192, 0, &progress));
    EXPECT_EQ(kConvertFinished, stoppedLate.types.back());
}

// The fraction reported rises from 0 toward 1 over the file, whatever the source rate
// and channel count, and the finished event closes the conversion.
TEST_F(ConverterEngineTest, FractionRisesFromZeroTowardOneForEveryRate) {
    g_steppingClock = true;
    for (std::uint32_t rate : {22050u, 32000u, 44100u, 48000u}) {
        for (int channels : {1, 2}) {
            SCOPED_TRACE(testing::Message() << rate << " Hz, " << channels << " channels");
            WriteWav(Path("in.wav"), rate, channels,
                     Sines(rate, rate, std::vector<double>(channels, 440.0)));
            EventLog log;
            ASSERT_EQ(kConvertOk, Convert(Path("in.wav"), Path("out.mp3"), 128, &log));
            const auto running = log.Running();
            ASSERT_GE(running.size(), 10u);
            EXPECT_EQ(0.0, running.front());
            for (std::size_t i = 1; i < running.size(); ++i) EXPECT_GE(running[i], running[i - 1]);
            EXPECT_GE(running.back(), 0.9);
            EXPECT_LE(running.back(), 1.0);
            EXPECT_EQ(kConvertFinished, log.types.back());
            EXPECT_EQ(0.0, log.fractions.back());
        }
    }
}

// Sources the engine cannot read fail with the failure event and code before the
// target file is created, and say why.
TEST_F(ConverterEngineTest, UnsupportedSourcesFailBeforeTheTargetIsCreated) {
    const auto audio = Sines(44100, 4410, {440.0, 440.0});
    const std::string raw(4410 * 2 * 8, '\0');
    WriteWavSamples(Path("double.wav"), 44100, 2, 3, 64, raw);
    WriteWavSamples(Path("twelve.wav"), 44100, 2, 1, 12, raw);
    WriteWavSamples(Path("alaw.wav"), 44100, 2, 6, 8, raw);
    WriteWav(Path("six.wav"), 44100, 6, audio);
    WriteBytes(Path("short.wav"), std::string("RIFF\x24\0\0\0WAVEfmt \x10\0\0\0\x01\0", 22));
    WriteBytes(Path("text.wav"), "this is not a sound file at all, only some text\n");
    std::string noData(
        "RIFF\x24\0\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0\x44\xac\0\0\x10\xb1\x02\0\x04\0\x10\0", 36);
    WriteBytes(Path("nodata.wav"), noData);

    for (const char* name : {"double", "twelve", "alaw", "six", "short", "text", "nodata"}) {
        SCOPED_TRACE(name);
        const std::string source = Path(std::string(name) + ".wav");
        const std::string target = Path(std::string(name) + ".mp3");
        EventLog log;
        EXPECT_EQ(kConvertResultFailed, Convert(source, target, 192, &log));
        EXPECT_EQ((std::vector<std::int32_t>{kConvertFailed}), log.types);
        EXPECT_FALSE(engine_.LastProblem().empty());
        EXPECT_EQ(kConvertChunkFailedSilently, Convert(source, target, 192, nullptr));
        EXPECT_FALSE(FileExists(target));
    }
    Convert(Path("six.wav"), Path("six.mp3"), 192, nullptr);
    EXPECT_NE(std::string::npos, engine_.LastProblem().find("6 channels"));
}

TEST_F(ConverterEngineTest, UnreadableSourceGivesTwoAndNoEvents) {
    EventLog log;
    EXPECT_EQ(kConvertCannotOpenSource, Convert(Path("missing.wav"), Path("out.mp3"), 192, &log));
    EXPECT_TRUE(log.types.empty());
    EXPECT_FALSE(FileExists(Path("out.mp3")));

    // A FIFO with no writer would block a plain open forever: it is refused at once,
    // as is a folder.
    ASSERT_EQ(0, mkfifo(Path("fifo.wav").c_str(), 0600));
    EXPECT_EQ(kConvertCannotOpenSource, Convert(Path("fifo.wav"), Path("out.mp3"), 192, &log));
    EXPECT_NE(std::string::npos, engine_.LastProblem().find("FIFO"));
    ASSERT_EQ(0, mkdir(Path("folder.wav").c_str(), 0700));
    EXPECT_EQ(kConvertCannotOpenSource, Convert(Path("folder.wav"), Path("out.mp3"), 192, &log));
    EXPECT_TRUE(log.types.empty());
    EXPECT_FALSE(FileExists(Path("out.mp3")));
}

TEST_F(ConverterEngineTest, MissingModuleGivesEight) {
    const std::string empty = Path("no-modules");
    ASSERT_EQ(0, mkdir(empty.c_str(), 0700));
    platform::SetModuleSearchPath({empty}, false);
    library_.Bind();
    EXPECT_EQ(0, engine_.IsLoaded());
    EXPECT_EQ(0, engine_.Init());
    WriteWav(Path("in.wav"), 44100, 2, Sines(44100, 4410, {440.0, 440.0}));
    EventLog log;
    EXPECT_EQ(kConvertNotLoaded, Convert(Path("in.wav"), Path("out.mp3"), 192, &log));
    EXPECT_TRUE(log.types.empty());
    EXPECT_FALSE(FileExists(Path("out.mp3")));
}

// Abort from another thread while Convert runs: the engine stops at its next chunk,
// closes the stream normally and reports 3; the shorter MP3 still decodes.
struct AbortHandshake {
    platform::Event reached{platform::Event::Reset::Manual};
    platform::Event resume{platform::Event::Reset::Manual};
    int running = 0;
};

std::int32_t PauseAtFifthEvent(std::int32_t type, double fraction, std::uint32_t ms, void* context,
                               void* context2) {
    auto* handshake = static_cast<AbortHandshake*>(context2);
    if (type == kConvertRunning && ++handshake->running == 5) {
        handshake->reached.Set();
        handshake->resume.Wait(10000);
    }
    return LogEvent(type, fraction, ms, context, nullptr);
}

TEST_F(ConverterEngineTest, AbortFromAnotherThreadLeavesAShorterFileThatDecodes) {
    g_steppingClock = true;
    const std::size_t frames = 20 * 44100;
    WriteWav(Path("in.wav"), 44100, 2, Sines(44100, frames, {440.0, 660.0}));
    EventLog log;
    AbortHandshake handshake;
    ConvertProgress progress;
    progress.context = &log;
    progress.context2 = &handshake;
    progress.notify = &PauseAtFifthEvent;
    int code = -1;
    const std::string source = Path("in.wav"), target = Path("out.mp3");
    std::thread worker(
        [&] { code = engine_.Convert(source.c_str(), target.c_str(), 192, 0, &progress); });
    const bool reached = handshake.reached.Wait(30000);
    engine_.Abort();
    handshake.resume.Set();
    worker.join();
    ASSERT_TRUE(reached);

    EXPECT_EQ(kConvertResultAborted, code);
    EXPECT_EQ(kConvertAborted, log.types.back());
    EXPECT_EQ(5u, log.Running().size());
    const DecodedMp3 mp3 = DecodeMp3(target);
    ASSERT_TRUE(mp3.ok);
    EXPECT_GT(mp3.Frames(), 0u);
    EXPECT_LT(mp3.Frames(), frames / 2);
}

TEST(ConverterExtensionTest, ExtensionRules) {
    EXPECT_STREQ("wav", ConverterEngine::Extension("/music/song.one.wav"));
    EXPECT_STREQ("", ConverterEngine::Extension("/music/a.b/song"));
    EXPECT_STREQ("", ConverterEngine::Extension("C:\\a.b\\song"));
    EXPECT_STREQ("", ConverterEngine::Extension("/music/song"));
    EXPECT_STREQ("song", ConverterEngine::Extension("song"));

    ConverterLibrary library;
    ConverterEngine engine(library);
    EXPECT_EQ(1, engine.CanConvert("/w/song.wav", "/o/song.mp3"));
    EXPECT_EQ(1, engine.CanConvert("/w/SONG.WAVE", "/o/song.Mp3"));
    EXPECT_EQ(1, engine.CanConvert("/w/a.b/song", "/o/song.MP3"));  // empty extension
    EXPECT_EQ(1, engine.CanConvert("/w/song.W", "/o/song.mP3"));
    EXPECT_EQ(0, engine.CanConvert("/w/song.mp3", "/o/song.mp3"));
    EXPECT_EQ(0, engine.CanConvert("/w/song.wav", "/o/song.wav"));
    EXPECT_EQ(0, engine.CanConvert("/w/song.aiff", "/o/song.mp3"));
    EXPECT_EQ(0, engine.CanConvert(nullptr, "/o/song.mp3"));
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::int32_t AbortAtFirstEvent(std::int32_t type, double, std::uint32_t, void*, void* engine) {
    if (type == kConvertRunning) static_cast<ConverterEngine*>(engine)->Abort();
    return 1;
}

std::int32_t ShrinkAtFirstEvent(std::int32_t type, double, std::uint32_t, void*, void* path) {
    if (type == kConvertRunning) ::truncate(static_cast<std::string*>(path)->c_str(), 44 + 88200);
    return 1;
}

// The target takes its name only when whole: a full disk (a file-size limit stands in)
// or a stop never spoils an earlier target, the failure names the system's reason, and a
// stopped conversion is kept beside the earlier target under a name that says so.
TEST_F(ConverterEngineTest, AnEarlierTargetSurvivesAFullDiskAndAStop) {
    WriteWav(Path("in.wav"), 44100, 2, Sines(44100, 10 * 44100, {440.0, 660.0}));
    ASSERT_EQ(kConvertOk, Convert(Path("in.wav"), Path("out.mp3"), 192, nullptr));
    const auto earlier = ReadFile(Path("out.mp3"));
    {
        rlimit saved{}, limit{};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        limit = saved;
        limit.rlim_cur = 20000;
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        ::setrlimit(RLIMIT_FSIZE, &limit);
        EventLog log;
        const int code = Convert(Path("in.wav"), Path("out.mp3"), 192, &log);
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
        EXPECT_EQ(kConvertResultFailed, code);
        EXPECT_NE(std::string::npos, engine_.LastProblem().find(std::strerror(EFBIG)))
            << engine_.LastProblem();
    }
    EXPECT_EQ(earlier, ReadFile(Path("out.mp3")));
    EXPECT_FALSE(FileExists(Path("out.mp3.part")));

    ConvertProgress progress;
    progress.context2 = &engine_;
    progress.notify = &AbortAtFirstEvent;
    EXPECT_EQ(kConvertResultAborted,
              engine_.Convert(Path("in.wav").c_str(), Path("out.mp3").c_str(), 192, 0, &progress));
    EXPECT_EQ(earlier, ReadFile(Path("out.mp3")));
    EXPECT_EQ(Path("out (incomplete).mp3"), engine_.LastTarget());
    EXPECT_TRUE(DecodeMp3(Path("out (incomplete).mp3")).ok);
    EXPECT_FALSE(FileExists(Path("out.mp3.part")));

    // A source that shrinks while it is read is named with the sizes it really had.
    g_steppingClock = true;
    std::string source = Path("in.wav");
    progress.context2 = &source;
    progress.notify = &ShrinkAtFirstEvent;
    EXPECT_EQ(kConvertResultTruncated,
              engine_.Convert(source.c_str(), Path("cut.mp3").c_str(), 192, 0, &progress));
    EXPECT_EQ(std::string::npos, engine_.LastProblem().find("holds 1764000"))
        << engine_.LastProblem();
    EXPECT_NE(std::string::npos, engine_.LastProblem().find("declares 1764000 bytes"));
}

// A source's RIFF INFO chunk, as other tools write it after the audio, and its id3
// chunk reach the MP3: the id3 frames as they are (a picture and a user text
// included), INFO for what the id3 tag does not say.
TEST_F(ConverterEngineTest, SourceTagsAreCarriedIntoTheMp3) {
    const auto audio = Sines(44100, 44100, {440.0, 660.0});
    WriteWav(Path("in.wav"), 44100, 2, audio);
    std::string info = "INFO";
    for (const auto& [id, text] : {std::pair{"INAM", "Song Title"},
                                   {"IART", "Info Artist"},
                                   {"IPRD", "Album"},
                                   {"ICRD", "1987"}}) {
        std::string value = std::string(text) + '\0';
        if (value.size() % 2) value += '\0';
        info += id;
        for (int i = 0; i < 4; ++i) info += static_cast<char>((std::strlen(text) + 1) >> (8 * i));
        info += value;
    }
    {
        std::FILE* f = std::fopen(Path("in.wav").c_str(), "ab");
        const std::uint32_t size = static_cast<std::uint32_t>(info.size());
        std::fwrite("LIST", 1, 4, f);
        std::fwrite(&size, 4, 1, f);  // little-endian machines only, as the files are
        std::fwrite(info.data(), 1, info.size(), f);
        std::fclose(f);
        TagLib::RIFF::WAV::File wav(Path("in.wav").c_str());
        ASSERT_TRUE(wav.hasInfoTag());
        wav.ID3v2Tag()->setArtist("Id3 Artist");
        wav.ID3v2Tag()->addFrame(new TagLib::ID3v2::UserTextIdentificationFrame(
            "MusicBrainz Album Id", TagLib::StringList("abc-123")));
        auto* picture = new TagLib::ID3v2::AttachedPictureFrame;
        picture->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
        picture->setPicture(TagLib::ByteVector(2000, 'p'));
        wav.ID3v2Tag()->addFrame(picture);
        ASSERT_TRUE(wav.save(TagLib::RIFF::WAV::File::AllTags, TagLib::File::StripNone));
    }
    ASSERT_EQ(kConvertOk, Convert(Path("in.wav"), Path("out.mp3"), 128, nullptr));
    EXPECT_EQ("", engine_.LastProblem());

    TagLib::MPEG::File mp3(Path("out.mp3").c_str());
    ASSERT_TRUE(mp3.hasID3v2Tag());
    TagLib::ID3v2::Tag& tag = *mp3.ID3v2Tag();
    EXPECT_EQ(3u, tag.header()->majorVersion());
    EXPECT_EQ("Song Title", tag.title().to8Bit());
    EXPECT_EQ("Id3 Artist", tag.artist().to8Bit());
    EXPECT_EQ("Album", tag.album().to8Bit());
    EXPECT_EQ(1987u, tag.year());
    EXPECT_EQ("abc-123", tag.properties()["MUSICBRAINZ_ALBUMID"].toString().to8Bit());
    ASSERT_EQ(1u, tag.frameListMap()["APIC"].size());
    EXPECT_EQ(2000u,
              static_cast<TagLib::ID3v2::AttachedPictureFrame*>(tag.frameListMap()["APIC"].front())
                  ->picture()
                  .size());
    const DecodedMp3 decoded = DecodeMp3(Path("out.mp3"));
    ASSERT_TRUE(decoded.ok);
    EXPECT_NEAR(44100.0, static_cast<double>(decoded.Frames()), 1152.0);
}

}  // namespace

// 24-bit samples in 4-byte blocks without the extensible format: nothing says where a
// sample sits in its block, so the source is refused with that reason before the
// target exists, not converted as packed 24-bit noise. A block align of 0 (a writer's
// omission) still reads as packed.
TEST_F(ConverterEngineTest, BlocksWiderThanTheirSamplesAreRefusedWithTheReason) {
    WriteWavSamples(Path("wide.wav"), 44100, 2, 1, 24, std::string(4410 * 8, '\x11'));
    WriteWav(Path("zero.wav"), 44100, 2, Sines(44100, 4410, {440.0, 440.0}));
    for (const auto& [name, align] : {std::pair{"wide.wav", '\x08'}, std::pair{"zero.wav", '\0'}}) {
        std::fstream patch(Path(name), std::ios::in | std::ios::out | std::ios::binary);
        patch.seekp(32);  // the format chunk's block align
        patch.put(align);
    }
    EventLog log;
    EXPECT_EQ(kConvertResultFailed, Convert(Path("wide.wav"), Path("wide.mp3"), 192, &log));
    EXPECT_NE(std::string::npos, engine_.LastProblem().find("24-bit samples in blocks of 8 bytes"))
        << engine_.LastProblem();
    EXPECT_FALSE(FileExists(Path("wide.mp3")));
    EXPECT_EQ(kConvertOk, Convert(Path("zero.wav"), Path("zero.mp3"), 192, nullptr));
    EXPECT_EQ(DecodeMp3(Path("zero.mp3")).channels, 2);
}

// The rip engine end to end: real reader and writer threads against the simulated
// drive (see RipTestSupport.h for the seams), WAV and MP3 output, stop, read
// errors, and the tracks that cannot run.
//
// The writer can be slowed with the engine's writer observer, so that
// the ring fills and the reader has to pause and resume with overlap-checked reads.
// MP3 output uses the real encoder module from the program folder, or fake
// modules (FakeEncoder.cpp) where a test needs an encoder that misbehaves.
#include <gtest/gtest.h>
#include <mpg123.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <thread>
#include <utility>

#include "RipTestSupport.h"
#include "platform/Modules.h"

using namespace riptest;
using namespace rip;

namespace {

class RipEngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        UseEncoderFolder(PROGRAM_FOLDER);
    }
    void TearDown() override {
        engine.reset();
        cdaccess::ClearAddedDrives();
        ResetEncoderBindingForTesting();
        platform::SetModuleSearchPath({}, true);
    }
    static void UseEncoderFolder(const std::string& folder) {
        ResetEncoderBindingForTesting();
        platform::SetModuleSearchPath({folder}, false);
    }
    RipEngine& MakeEngine(std::uint32_t handle, encode::Format format,
                          RipEngine::WriterObserver afterWriterPiece = {}) {
        engine = std::make_unique<RipEngine>(handle, std::move(afterWriterPiece));
        engine->SetOutput(Options(Folder(), format));
        return *engine;
    }
    RipEngine& MakeEngine(std::uint32_t handle, bool mp3,
                          RipEngine::WriterObserver afterWriterPiece = {}) {
        return MakeEngine(handle, mp3 ? encode::Format::Mp3 : encode::Format::Wav,
                          std::move(afterWriterPiece));
    }
    std::string Folder() const { return dir.path().toStdString(); }
    std::string PathOf(const char* file) const { return Folder() + "/" + file; }

    QTemporaryDir dir;
    FakeDialog dialog;
    std::unique_ptr<RipEngine> engine;
};

TEST_F(RipEngineTest, WavRipIsByteIdenticalWithProgressAndNameReported) {
    SimDisc disc = OpenSimDisc({1000, 700});
    ASSERT_NE(disc.handle, 0u);
    RipEngine& e = MakeEngine(disc.handle, false);
    // Two tracks in a row: the second starts from a cleared session and a fresh ring.
    for (int i = 0; i < 2; ++i) {
        const TrackEntry entry = disc.Entry(i);
        dialog.bar->deltaSum = 0;
        ASSERT_TRUE(RunTrack(e, dialog, entry));
        EXPECT_EQ(e.LastEndReason(), kEndRunning);
        EXPECT_EQ(dialog.StatusText(), std::string(entry.name) + ".wav");
        EXPECT_EQ(dialog.bar->range, std::uint64_t{entry.lengthFrames} * kFrameBytes);
        EXPECT_EQ(dialog.bar->deltaSum, dialog.bar->range);
        ExpectWav(PathOf(i == 0 ? "Track 1.wav" : "Track 2.wav"), disc.TrackAudio(i));
    }
    EXPECT_EQ(dialog.done, 2);
}

TEST_F(RipEngineTest, HundredFrameTrackIsReadAs27_27_27_19AndEmptyTrackStillEnds) {
    SimDisc disc = OpenSimDisc({100, 50});
    RipEngine& e = MakeEngine(disc.handle, false);
    ASSERT_TRUE(RunTrack(e, dialog, disc.Entry(0)));
    const auto reads = disc.drive->Reads();
    std::vector<std::pair<std::uint32_t, std::uint32_t>> got;
    for (const auto& r : reads) got.emplace_back(r.lba, r.count);
    const std::vector<std::pair<std::uint32_t, std::uint32_t>> want = {
        {0, 27}, {27, 27}, {54, 27}, {81, 19}};
    EXPECT_EQ(got, want);

    disc.drive->ClearReads();
    TrackEntry empty = disc.Entry(1);
    empty.lengthFrames = 0;
    ASSERT_TRUE(RunTrack(e, dialog, empty, 10000));
    EXPECT_EQ(e.LastEndReason(), kEndRunning);
    EXPECT_TRUE(disc.drive->Reads().empty());
    ExpectWav(PathOf("Track 2.wav"), {});
    // As MP3 the empty track has no frame to write, so it leaves no (empty) file.
    RipEngine& mp3 = MakeEngine(disc.handle, true);
    ASSERT_TRUE(RunTrack(mp3, dialog, empty, 10000));
    EXPECT_EQ(mp3.LastEndReason(), kEndRunning);
    EXPECT_FALSE(std::filesystem::exists(PathOf("Track 2.mp3")));
}

// A slow writer fills the ring; the reader pauses, and the drive, idle meanwhile,
// loses its place, so the next read lands off by a number of samples unless it is
// overlap-checked. Some reads also fail before they succeed. The file must still be
// exactly the disc's audio.
class JitterTest : public RipEngineTest, public ::testing::WithParamInterface<int> {};

TEST_P(JitterTest, SlowWriterJitterAndRecoverableErrorsStayByteIdentical) {
    // Pauses last about 12 x 20 ms; the drive loses its place after 100 ms idle,
    // far beyond the gap between reads that follow each other.
    SimDisc disc = OpenSimDisc({1200}, 1, 100);
    disc.drive->SetSeekJitter(GetParam());
    // Two failed tries at each place: the plain read and one overlap-checked try,
    // or (after a pause) two overlap-checked tries; the next try succeeds.
    disc.drive->ScriptReadError(300, 2);
    disc.drive->ScriptReadError(800, 2);
    RipEngine& e = MakeEngine(disc.handle, false,
                              [] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); });
    ASSERT_TRUE(RunTrack(e, dialog, disc.Entry(0)));
    EXPECT_EQ(e.LastEndReason(), kEndRunning);
    ExpectWav(PathOf("Track 1.wav"), disc.TrackAudio(0));

    // The scenario really happened: the drive lost its place during pauses, and
    // reads failed.
    EXPECT_GE(disc.idleDrive->losses, 3);
    int failures = 0;
    for (const auto& r : disc.drive->Reads()) failures += r.result != kCdOk;
    EXPECT_EQ(failures, 4);
}

INSTANTIATE_TEST_SUITE_P(Jitter, JitterTest, ::testing::Values(37, -29));

TEST_F(RipEngineTest, StopWhileTheReaderWaitsForRoomEndsPromptlyWithAValidFile) {
    SimDisc disc = OpenSimDisc({6000});
    std::atomic<bool> slow{true};
    std::atomic<int> pieces{0};
    RipEngine& e = MakeEngine(disc.handle, false, [&slow, &pieces] {
        ++pieces;
        if (slow) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    });
    const cd::Track track = AsTrack(disc.Entry(0));
    ASSERT_TRUE(e.StartTrack(dialog, &track));
    // Wait until the ring is too full for another read (the reader is waiting) and the
    // writer has stored some audio (on a busy machine it may start late).
    ASSERT_TRUE(PumpUntil(
        [&] {
            return pieces > 0 && RingFreeBytes(&e.Session().ring) < std::int32_t(27 * kFrameBytes);
        },
        10000));
    e.Stop();
    slow = false;
    // Without the session event the reader would sleep up to a minute here.
    ASSERT_TRUE(PumpUntil([&] { return dialog.done == 1; }, 5000));
    e.EndTrack();
    EXPECT_EQ(e.LastEndReason(), kEndStopped);
    ExpectWav(PathOf("Track 1.wav"), disc.TrackAudio(0), true);
    EXPECT_LT(ReadFile(PathOf("Track 1.wav")).size(), disc.TrackAudio(0).size());
}

TEST_F(RipEngineTest, UnrecoverableReadErrorFailsTheTrackAndLeavesAValidFile) {
    SimDisc disc = OpenSimDisc({1000});
    disc.drive->ScriptReadError(300, 100);
    RipEngine& e = MakeEngine(disc.handle, false);
    ASSERT_TRUE(RunTrack(e, dialog, disc.Entry(0)));
    EXPECT_EQ(e.LastEndReason(), kEndReadError);
    ExpectWav(PathOf("Track 1.wav"), disc.TrackAudio(0), true);
    EXPECT_LE(ReadFile(PathOf("Track 1.wav")).size(), 44u + 297 * kFrameBytes);

    // A track that fails before any audio leaves no header-only file.
    SimDisc second = OpenSimDisc({200, 100});
    second.drive->ScriptReadError(200, 100);
    RipEngine& again = MakeEngine(second.handle, false);
    ASSERT_TRUE(RunTrack(again, dialog, second.Entry(1)));
    EXPECT_EQ(again.LastEndReason(), kEndReadError);
    EXPECT_FALSE(std::filesystem::exists(PathOf("Track 2.wav")));
    EXPECT_FALSE(std::filesystem::exists(PathOf("Track 2.wav.part")));
}

TEST_F(RipEngineTest, TracksThatCannotRunEndAtOnceAndTheBatchGoesOn) {
    SimDisc disc = OpenSimDisc({200, 200});
    RipEngine& e = MakeEngine(disc.handle, false);

    // The output folder does not exist: no file, no thread, a notice all the same.
    e.SetOutput(Options(Folder() + "/missing/folder", false));
    const cd::Track first = AsTrack(disc.Entry(0));
    EXPECT_FALSE(e.StartTrack(dialog, &first));
    ASSERT_TRUE(PumpUntil([&] { return dialog.done == 1; }, 5000));
    e.EndTrack();
    EXPECT_EQ(e.LastEndReason(), kEndCannotCreate);

    // A data row holds no audio: skipped, nothing written.
    e.SetOutput(Options(Folder(), false));
    TrackEntry data = disc.Entry(1);
    std::snprintf(data.name, sizeof data.name, "Data Track");
    data.isData = 1;
    const cd::Track dataTrack = AsTrack(data);
    EXPECT_FALSE(e.StartTrack(dialog, &dataTrack));
    ASSERT_TRUE(PumpUntil([&] { return dialog.done == 2; }, 5000));
    e.EndTrack();
    EXPECT_EQ(e.LastEndReason(), kEndDataTrack);
    EXPECT_FALSE(std::filesystem::exists(PathOf("Data Track.wav")));

    // The next track runs normally.
    ASSERT_TRUE(RunTrack(e, dialog, disc.Entry(1)));
    EXPECT_EQ(e.LastEndReason(), kEndRunning);
    ExpectWav(PathOf("Track 2.wav"), disc.TrackAudio(1));
}

// A file-size limit stands in for a disk that fills up: writes past it fail with
// EFBIG (SIGXFSZ is ignored meanwhile, as it would otherwise end the process).
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        Set(bytes);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }
    void Set(rlim_t bytes) {
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }

  private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
};

// Output that fails part of the way fails the track and leaves nothing under the
// final name: no file whose header disagrees with its size, no empty files for the
// tracks after it, and an earlier rip's file as it was.
TEST_F(RipEngineTest, AFailedWriteFailsTheTrack) {
    SimDisc disc = OpenSimDisc({1000, 200});
    { std::ofstream(PathOf("Track 2.wav")) << "an earlier rip"; }
    auto files = [&] {
        std::vector<std::string> names;
        for (const auto& f : std::filesystem::directory_iterator(Folder()))
            names.push_back(f.path().filename().string());
        return names;
    };
    {
        FileSizeLimit limit(100000);
        for (encode::Format format : {Format::Wav, Format::Mp3, Format::Flac}) {
            SCOPED_TRACE(encode::InfoOf(format).name);
            RipEngine& e = MakeEngine(disc.handle, format);
            ASSERT_TRUE(RunTrack(e, dialog, disc.Entry(0), 10000));
            EXPECT_EQ(e.LastEndReason(), kEndOutputError);
            EXPECT_EQ(e.LastOutputProblem(), std::strerror(EFBIG));
            EXPECT_EQ(files(), std::vector<std::string>{"Track 2.wav"});
        }
        // No room even for the header.
        limit.Set(20);
        RipEngine& e = MakeEngine(disc.handle, false);
        ASSERT_TRUE(RunTrack(e, dialog, disc.Entry(1), 10000));
        EXPECT_EQ(e.LastEndReason(), kEndOutputError);
        EXPECT_EQ(files(), std::vector<std::string>{"Track 2.wav"});
        const auto earlier = ReadFile(PathOf("Track 2.wav"));
        EXPECT_EQ(std::string(earlier.begin(), earlier.end()), "an earlier rip");
    }
    // With room again the track replaces the earlier file.
    RipEngine& e = MakeEngine(disc.handle, false);
    ASSERT_TRUE(RunTrack(e, dialog, disc.Entry(1), 10000));
    EXPECT_EQ(e.LastEndReason(), kEndRunning);
    ExpectWav(PathOf("Track 2.wav"), disc.TrackAudio(1));
}

// A partial result never replaces a complete file, and a run never shares a working
// file with, nor replaces the finished file of, another run writing the same name: the
// result is kept beside it, and the batch's record names where.
TEST_F(RipEngineTest, ARunKeepsItsResultBesideFilesItMustNotReplace) {
    SimDisc disc = OpenSimDisc({1000});
    RipEngine& first = MakeEngine(disc.handle, false);
    ASSERT_TRUE(RunTrack(first, dialog, disc.Entry(0)));
    const auto complete = ReadFile(PathOf("Track 1.wav"));

    disc.drive->ScriptReadError(300, 100);
    RipEngine& again = MakeEngine(disc.handle, false);
    ASSERT_TRUE(RunTrack(again, dialog, disc.Entry(0)));
    EXPECT_EQ(again.LastEndReason(), kEndReadError);
    EXPECT_EQ(ReadFile(PathOf("Track 1.wav")), complete);
    ExpectWav(PathOf("Track 1 (incomplete).wav"), disc.TrackAudio(0), true);
    EXPECT_EQ(again.BatchRecords().back().outputPath, PathOf("Track 1 (incomplete).wav"));

    // Another run's working file, and its finished file appearing during this rip.
    SimDisc other = OpenSimDisc({500});
    { std::ofstream(PathOf("Track 1.wav.part")) << "another run's work"; }
    std::filesystem::remove(PathOf("Track 1.wav"));
    bool once = false;
    RipEngine& e = MakeEngine(other.handle, encode::Format::Wav, [&] {
        if (!std::exchange(once, true)) std::ofstream(PathOf("Track 1.wav")) << "another run";
    });
    ASSERT_TRUE(RunTrack(e, dialog, other.Entry(0)));
    EXPECT_EQ(e.LastEndReason(), kEndRunning);
    const auto part = ReadFile(PathOf("Track 1.wav.part"));
    EXPECT_EQ(std::string(part.begin(), part.end()), "another run's work");
    const auto theirs = ReadFile(PathOf("Track 1.wav"));
    EXPECT_EQ(std::string(theirs.begin(), theirs.end()), "another run");
    ExpectWav(PathOf("Track 1 (2).wav"), other.TrackAudio(0));
    EXPECT_EQ(e.BatchRecords().back().outputPath, PathOf("Track 1 (2).wav"));
}

TEST_F(RipEngineTest, OutputPathsKeepTheFolderAndCleanOnlyTheName) {
    SimDisc disc = OpenSimDisc({10});
    RipEngine& e = MakeEngine(disc.handle, false);
    e.SetOutput(Options("", false));
    EXPECT_EQ(e.OutputPathFor("Track 1"), "./Track 1.wav");
    e.SetOutput(Options("/music/", true));
    EXPECT_EQ(e.OutputPathFor("Track 1"), "/music/Track 1.mp3");
    e.SetOutput(Options("/a:b*c", false));
    EXPECT_EQ(e.OutputPathFor("x/y\\z:*?\"<>|\t\x7f"
                              "é"),
              "/a:b*c/x_y_z_________é.wav");
}

// --- MP3 -----------------------------------------------------------------------

// Decodes an MP3 file to interleaved 16-bit stereo samples with libmpg123, with
// gapless decoding (encoder delay and padding taken from the info tag).
std::vector<std::int16_t> DecodeMp3(const std::string& path) {
    std::vector<std::int16_t> pcm;
    int err = 0;
    mpg123_handle* mh = mpg123_new(nullptr, &err);
    if (!mh) return pcm;
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0);
    mpg123_format_none(mh);
    mpg123_format(mh, 44100, MPG123_STEREO, MPG123_ENC_SIGNED_16);
    if (mpg123_open(mh, path.c_str()) == MPG123_OK) {
        std::vector<unsigned char> buf(65536);
        for (;;) {
            size_t got = 0;
            const int r = mpg123_read(mh, buf.data(), buf.size(), &got);
            const auto* s = reinterpret_cast<const std::int16_t*>(buf.data());
            pcm.insert(pcm.end(), s, s + got / 2);
            if (r != MPG123_OK && r != MPG123_NEW_FORMAT) break;
        }
        mpg123_close(mh);
    }
    mpg123_delete(mh);
    return pcm;
}

// Normalised correlation of the left channels with the decoded audio shifted by lag.
double Correlation(const std::vector<unsigned char>& source, const std::vector<std::int16_t>& dec,
                   int lag) {
    const auto* src = reinterpret_cast<const std::int16_t*>(source.data());
    const long n = static_cast<long>(std::min(source.size() / 4, dec.size() / 2));
    double sxy = 0, sxx = 0, syy = 0;
    for (long i = 2000; i < n - 2000; ++i) {
        const double x = src[2 * i], y = dec[2 * (i + lag)];
        sxy += x * y, sxx += x * x, syy += y * y;
    }
    return sxy / std::sqrt(sxx * syy);
}

TEST_F(RipEngineTest, Mp3RipDecodesToTheTracksSamplesWithNoShift) {
    SimDisc disc = OpenSimDisc({1000});
    RipEngine& e = MakeEngine(disc.handle, true);
    ASSERT_TRUE(RipEngine::Mp3Available());
    ASSERT_TRUE(RunTrack(e, dialog, disc.Entry(0)));
    EXPECT_EQ(e.LastEndReason(), kEndRunning);
    EXPECT_EQ(dialog.StatusText(), "Track 1.mp3");
    EXPECT_EQ(dialog.bar->deltaSum, 1000u * kFrameBytes);

    const auto decoded = DecodeMp3(PathOf("Track 1.mp3"));
    EXPECT_EQ(decoded.size() / 2, 1000u * 588);  // the info tag trims delay and padding
    const double c0 = Correlation(disc.TrackAudio(0), decoded, 0);
    EXPECT_GT(c0, 0.9);
    for (int lag : {-2, -1, 1, 2, 576, -576})
        EXPECT_GT(c0, Correlation(disc.TrackAudio(0), decoded, lag));
}

TEST_F(RipEngineTest, Mp3WithNoEncoderBoundIsAClearFailure) {
    UseEncoderFolder(Folder() + "/no_modules_here");
    SimDisc disc = OpenSimDisc({100});
    engine = std::make_unique<RipEngine>(disc.handle);
    EXPECT_EQ(engine->OutputFormat(), encode::Format::Wav);  // no encoder: WAV at creation
    EXPECT_FALSE(engine->SetOutput(Options(Folder(), true)));
    const cd::Track track = AsTrack(disc.Entry(0));
    EXPECT_FALSE(engine->StartTrack(dialog, &track));
    ASSERT_TRUE(PumpUntil([&] { return dialog.done == 1; }, 5000));
    engine->EndTrack();
    EXPECT_EQ(engine->LastEndReason(), kEndNoEncoder);
    EXPECT_FALSE(std::filesystem::exists(PathOf("Track 1.mp3")));
}

TEST_F(RipEngineTest, EncoderThatCannotStartEndsTheTrackWithoutAStop) {
    UseEncoderFolder(std::string(FAKE_ENCODERS) + "/init_fails");
    SimDisc disc = OpenSimDisc({3000});  // longer than the ring holds
    RipEngine& e = MakeEngine(disc.handle, true);
    ASSERT_TRUE(RunTrack(e, dialog, disc.Entry(0), 10000));
    EXPECT_EQ(e.LastEndReason(), kEndEncoderStart);
    EXPECT_EQ(ReadFile(PathOf("Track 1.mp3")).size(), 0u);
    // Nothing was encoded: no empty file is left, under either name.
    EXPECT_TRUE(std::filesystem::is_empty(Folder()));
}

// The record a fake LAME module of a given version receives, and that every
// stream is closed.
class RecordTest : public RipEngineTest,
                   public ::testing::WithParamInterface<std::pair<const char*, std::uint32_t>> {};

TEST_P(RecordTest, TheEncodersVersionChoosesTheRecord) {
    UseEncoderFolder(std::string(FAKE_ENCODERS) + "/" + GetParam().first);
    SimDisc disc = OpenSimDisc({100});
    RipEngine& e = MakeEngine(disc.handle, true);
    ASSERT_TRUE(RunTrack(e, dialog, disc.Entry(0), 10000));
    EXPECT_EQ(e.LastEndReason(), kEndRunning);
    platform::ModuleHandle m = EncoderType() == kEncoderBlade ? BladeModule() : LameModule();
    auto kind =
        reinterpret_cast<std::uint32_t (*)()>(platform::GetProcAddress(m, "fakeLastConfigKind"));
    auto open = reinterpret_cast<int (*)()>(platform::GetProcAddress(m, "fakeOpenStreams"));
    ASSERT_TRUE(kind && open);
    EXPECT_EQ(kind(), GetParam().second);
    EXPECT_EQ(open(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, RecordTest,
    ::testing::Values(std::make_pair("lame_353", kBeConfigMp3),
                      std::make_pair("lame_354_lib_14", kBeConfigLame),
                      std::make_pair("lame_40_lib_13", kBeConfigMp3),
                      std::make_pair("both", kBeConfigMp3)));  // BladeEnc: the plain form

}  // namespace

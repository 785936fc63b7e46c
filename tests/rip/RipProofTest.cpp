// Proof of a rip, through the engine against the simulated drive (seams in
// RipTestSupport.h): the checksums the reader sums as it queues the audio, test
// and copy passes on a drive that reads the same twice and on one that does not,
// and the read offset with silence where the shifted track leaves the disc.
#include <gtest/gtest.h>
#include <zlib.h>

#include <QTemporaryDir>

#include "RipTestSupport.h"
#include "platform/Modules.h"

using namespace riptest;

namespace {

class RipProofTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ResetEncoderBindingForTesting();
        platform::SetModuleSearchPath({PROGRAM_FOLDER}, false);
    }
    void TearDown() override {
        engine.reset();
        cdaccess::ClearAddedDrives();
        ResetEncoderBindingForTesting();
        platform::SetModuleSearchPath({}, true);
    }
    RipEngine& MakeEngine(std::uint32_t handle, bool mp3) {
        engine = std::make_unique<RipEngine>(handle);
        engine->SetOutput(Options(dir.path().toStdString(), mp3));
        return *engine;
    }
    std::vector<unsigned char> WavAudio(int track) const {
        const auto file =
            ReadFile(dir.path().toStdString() + "/Track " + std::to_string(track) + ".wav");
        return file.size() < 44 ? std::vector<unsigned char>{}
                                : std::vector<unsigned char>(file.begin() + 44, file.end());
    }

    QTemporaryDir dir;
    FakeDialog dialog;
    std::unique_ptr<RipEngine> engine;
};

TEST_F(RipProofTest, ChecksumsOfFirstMiddleShortAndLastTrackMatchTheFormulasForWavAndMp3) {
    SimDisc disc = OpenSimDisc({12, 3, 9, 4}, 7);
    RipEngine& e = MakeEngine(disc.handle, false);
    for (int t = 0; t < 4; ++t) {
        ASSERT_TRUE(RunTrack(e, dialog, disc.Entry(t)));
        ASSERT_EQ(e.LastEndReason(), kEndRunning);
        const TrackProof& proof = e.LastProof();
        const auto audio = WavAudio(t + 1);
        ASSERT_EQ(audio, disc.TrackAudio(t));
        const ArSums expected = ReferenceAccurateRip(audio, t == 0, t == 3);
        EXPECT_TRUE(proof.complete);
        EXPECT_EQ(proof.crc32, crc32(0, audio.data(), static_cast<uInt>(audio.size())));
        EXPECT_EQ(proof.accurateRipV1, expected.v1) << "track " << t + 1;
        EXPECT_EQ(proof.accurateRipV2, expected.v2) << "track " << t + 1;
        EXPECT_FALSE(proof.verified);
    }
    ASSERT_EQ(e.BatchRecords().size(), 4u);
    EXPECT_EQ(e.BatchRecords()[3].discIndex, 4);

    // The same sums when the audio goes to the MP3 encoder instead.
    if (!RipEngine::Mp3Available()) GTEST_SKIP() << "no MP3 encoder module";
    const TrackProof wav = e.BatchRecords()[0].proof;
    RipEngine& mp3 = MakeEngine(disc.handle, true);
    ASSERT_TRUE(RunTrack(mp3, dialog, disc.Entry(0)));
    EXPECT_EQ(mp3.LastEndReason(), kEndRunning);
    EXPECT_EQ(mp3.LastProof().crc32, wav.crc32);
    EXPECT_EQ(mp3.LastProof().accurateRipV1, wav.accurateRipV1);
    EXPECT_EQ(mp3.LastProof().accurateRipV2, wav.accurateRipV2);
}

TEST_F(RipProofTest, TestAndCopyPassesAgreeOnACleanDriveAndNotOnAnUnstableOne) {
    SimDisc disc = OpenSimDisc({40, 30});
    RipEngine& e = MakeEngine(disc.handle, false);
    e.SetVerify(true);
    ASSERT_TRUE(RunTrack(e, dialog, disc.Entry(0)));
    EXPECT_EQ(e.LastEndReason(), kEndRunning);
    EXPECT_TRUE(e.LastProof().verified);
    EXPECT_FALSE(e.LastProof().suspicious);
    EXPECT_EQ(e.LastProof().testCrc32, e.LastProof().crc32);
    EXPECT_EQ(WavAudio(1), disc.TrackAudio(0));
    // Both passes fill one bar.
    EXPECT_EQ(dialog.bar->range, 2ull * 40 * kFrameBytes);
    EXPECT_TRUE(PumpUntil([&] { return dialog.bar->deltaSum == dialog.bar->range; }, 5000));

    disc.drive->ScriptUnstableFrame(40 + 17);
    ASSERT_TRUE(RunTrack(e, dialog, disc.Entry(1)));
    EXPECT_EQ(e.LastEndReason(), kEndRunning);
    EXPECT_TRUE(e.LastProof().verified);
    EXPECT_TRUE(e.LastProof().suspicious);
    EXPECT_NE(e.LastProof().testCrc32, e.LastProof().crc32);
    EXPECT_TRUE(e.BatchRecords().back().proof.suspicious);
}

TEST_F(RipProofTest, ReadOffsetShiftsTheAudioWithSilenceAtTheDiscsEdges) {
    SimDisc disc = OpenSimDisc({10, 8});
    const std::size_t shift = 6 * 4;
    for (int offset : {6, -6}) {
        RipEngine& e = MakeEngine(disc.handle, false);
        e.SetReadOffset(offset);
        disc.drive->ClearReads();
        for (int t = 0; t < 2; ++t) {
            ASSERT_TRUE(RunTrack(e, dialog, disc.Entry(t)));
            ASSERT_EQ(e.LastEndReason(), kEndRunning) << offset;
            // The disc's audio shifted by the offset, silence outside the disc.
            const std::size_t start = disc.starts[t] * kFrameBytes,
                              bytes = disc.lengths[t] * kFrameBytes;
            std::vector<unsigned char> expected(bytes, 0);
            for (std::size_t i = 0; i < bytes; ++i) {
                const std::int64_t at =
                    std::int64_t(start + i) + (offset > 0 ? 1 : -1) * std::int64_t(shift);
                if (at >= 0 && at < std::int64_t(disc.audio.size())) expected[i] = disc.audio[at];
            }
            const auto got = WavAudio(t + 1);
            ASSERT_EQ(got.size(), expected.size()) << "offset " << offset << " track " << t + 1;
            const auto diff = std::mismatch(got.begin(), got.end(), expected.begin());
            EXPECT_TRUE(diff.first == got.end())
                << "offset " << offset << " track " << t + 1 << " differs at byte "
                << (diff.first - got.begin());
        }
        for (const auto& read : disc.drive->Reads())
            EXPECT_LE(read.lba + read.count, disc.drive->Frames()) << "read past the disc";
    }
}

}  // namespace

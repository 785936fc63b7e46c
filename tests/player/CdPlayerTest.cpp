// The CD player against a simulated drive and ALSA's file sink (see
// PlayerTestSupport.h for both seams). Each test plays a range and compares what the
// device was given, byte for byte, with the disc's frames.
#include "player/CdPlayer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "PlayerTestSupport.h"
#include "cd/TrackTable.h"
#include "platform/WaveOut.h"

using namespace player;
using namespace cd;

using playertest::Frames;

namespace {

class CdPlayerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        playertest::EnsureApplication();
        cdaccess::ClearAddedDrives();
        cdaccess::SetSystemDrivesListed(false);
    }
    void TearDown() override {
        if (gated_) gated_->OpenGate();
        player_.Stop();
        cdaccess::ClearAddedDrives();
    }

    // A disc with audio tracks of these lengths from address 0, and some frames
    // after the lead-out so the last block of the last track reads cleanly.
    void MakeDisc(const std::vector<std::uint32_t>& lengths) {
        std::uint32_t total = 100;
        for (std::uint32_t l : lengths) total += l;
        sim_ = std::make_shared<cdaccess::SimulatedDrive>(
            cdaccess::SimulatedDrive::MakeTestAudio(total, 5));
        sim_->SetAudioTracks(lengths);
        gated_ = std::make_shared<playertest::GatedDrive>(sim_);
        cdaccess::AddDrive(gated_);
        handle_ = playertest::OpenFirstDrive();
        ASSERT_NE(handle_, 0u);
        player_.SetCdHandle(handle_);
        player_.SetMainWindow(platform::WindowHandleOf(&window_));
    }
    const std::vector<unsigned char>& Disc() const { return sim_->Disc(); }

    // Plays the track to its end (WM_PLAY_END) and stops; returns what was played.
    std::vector<unsigned char> PlayToEnd(int trackNumber) {
        const int before = window_.playEnds;
        player_.SelectTrack(trackNumber);
        EXPECT_EQ(player_.Play(1), 1);
        EXPECT_TRUE(playertest::ProcessEventsUntil([&] { return window_.playEnds > before; }));
        player_.Stop();
        return sink_.Captured();
    }

    playertest::SoundSink sink_;
    playertest::PlayEndWindow window_;
    std::shared_ptr<cdaccess::SimulatedDrive> sim_;
    std::shared_ptr<playertest::GatedDrive> gated_;
    std::uint32_t handle_ = 0;
    CdPlayer player_;
};

TEST_F(CdPlayerTest, ARangePlaysItsWholeBlocksBeforeTheLastFrame) {
    MakeDisc({100, 101, 25, 60});
    EXPECT_EQ(PlayToEnd(1), Frames(Disc(), 0, 75));
    EXPECT_EQ(PlayToEnd(2), Frames(Disc(), 100, 100));
    EXPECT_TRUE(PlayToEnd(3).empty());
    EXPECT_EQ(player_.LastEndReason(), CdPlayer::EndReason::EndOfRange);
    EXPECT_EQ(platform::WaveOutDevicesOpen(), 0);
}

TEST_F(CdPlayerTest, RetriedReadsPlayTheBlockOnce) {
    MakeDisc({300});
    sim_->ScriptReadError(60, 5);
    EXPECT_EQ(PlayToEnd(1), Frames(Disc(), 0, 275));
}

TEST_F(CdPlayerTest, SelectTrackReadsTheTableOfContents) {
    MakeDisc({74, 150, 75});
    player_.SelectTrack(2);
    EXPECT_EQ(player_.RangeStart(), 74);
    EXPECT_EQ(player_.RangeLength(), 150);
    int seconds = -1;
    EXPECT_EQ(player_.GetTrackLength(1, seconds), 1);
    EXPECT_EQ(seconds, 0);  // 74 frames
    player_.GetTrackLength(3, seconds);
    EXPECT_EQ(seconds, 1);

    player_.SelectTrack(0);  // no number: the range stays
    EXPECT_EQ(player_.SelectedTrack(), 0);
    EXPECT_EQ(player_.RangeStart(), 74);
    player_.SelectTrack(4000);  // outside the table: the range stays
    EXPECT_EQ(player_.RangeLength(), 150);
}

// A disc whose first track is 3, with a data session after its audio: each row plays
// the range the track list shows (the gap before the data session is not played), and
// the row texts name the tracks by their own numbers.
TEST_F(CdPlayerTest, RowsPlayTheRangesOfTheTrackTableOnAnyDisc) {
    const std::uint32_t dataStart = 300 + 11400;
    sim_ = std::make_shared<cdaccess::SimulatedDrive>(
        cdaccess::SimulatedDrive::MakeTestAudio(dataStart + 60, 5));
    cdaccess::DiscToc toc;
    toc.firstTrack = 3;
    toc.lastTrack = 5;
    toc.tracks = {{3, false, 0}, {4, false, 100}, {5, true, dataStart}};
    toc.leadOut = dataStart + 50;
    sim_->SetToc(toc);
    gated_ = std::make_shared<playertest::GatedDrive>(sim_);
    cdaccess::AddDrive(gated_);
    handle_ = playertest::OpenFirstDrive();
    ASSERT_NE(handle_, 0u);
    player_.SetCdHandle(handle_);
    player_.SetMainWindow(platform::WindowHandleOf(&window_));

    DriveListRecord drives{};
    std::vector<TrackEntry> table(kMaxTracks);
    std::vector<TrackRow> rows;
    ASSERT_EQ(BuildTrackTable(handle_, drives, table.data(), rows), 3);
    const std::uint32_t length = table[1].lengthFrames;
    ASSERT_LT(length, dataStart - 100);  // the table leaves the gap out

    EXPECT_EQ(PlayToEnd(3), Frames(Disc(), 0, 75));
    const auto played = PlayToEnd(rows[1].trackNumber);
    EXPECT_EQ(player_.RangeStart(), 100);
    EXPECT_EQ(player_.RangeLength(), static_cast<std::int32_t>(length));
    EXPECT_EQ(played, Frames(Disc(), 100, 25 * ((length - 1) / 25)));
    int seconds = -1;
    player_.GetTrackLength(2, seconds);
    EXPECT_EQ(seconds, static_cast<int>(length / 75));
    player_.SelectTrack(1);  // not on this disc: the range stays
    EXPECT_EQ(player_.RangeStart(), 100);
}

// A seek arriving while a block is being read leaves that block to be played and
// moves the next read.
TEST_F(CdPlayerTest, ASeekChangesWhatIsPlayedFromTheNextBlock) {
    MakeDisc({1500});
    player_.SelectTrack(1);
    gated_->CloseGateAt(100);
    ASSERT_EQ(player_.Play(1), 1);
    ASSERT_TRUE(gated_->WaitArrived());
    EXPECT_EQ(player_.SetPosition(1, 10), 1);
    int seconds = 0;
    player_.GetPosition(seconds);
    EXPECT_EQ(seconds, 10);
    gated_->OpenGate();
    ASSERT_TRUE(playertest::ProcessEventsUntil([&] { return window_.playEnds == 1; }));
    player_.Stop();

    std::vector<unsigned char> expected = Frames(Disc(), 0, 125);
    const auto tail = Frames(Disc(), 750, 725);
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(sink_.Captured(), expected);
}

TEST_F(CdPlayerTest, PauseAndResumeLoseAndRepeatNothing) {
    MakeDisc({600});
    player_.SelectTrack(1);
    gated_->CloseGateAt(100);
    ASSERT_EQ(player_.Play(1), 1);
    ASSERT_TRUE(gated_->WaitArrived());
    EXPECT_EQ(player_.Pause(), 1);
    EXPECT_EQ(player_.Pause(), 1);  // already paused
    EXPECT_TRUE(player_.IsPaused());
    EXPECT_FALSE(player_.IsPlaying());
    gated_->OpenGate();
    // Let the player thread fill the paused device; correctness does not depend on it.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(window_.playEnds, 0);
    EXPECT_EQ(player_.Start(1), 1);
    EXPECT_TRUE(player_.IsPlaying());
    ASSERT_TRUE(playertest::ProcessEventsUntil([&] { return window_.playEnds == 1; }));
    player_.Stop();
    EXPECT_EQ(sink_.Captured(), Frames(Disc(), 0, 575));
}

TEST_F(CdPlayerTest, StopWhilePausedEndsTheStreamAndClosesTheDevice) {
    MakeDisc({3000});
    player_.SelectTrack(1);
    gated_->CloseGateAt(100);
    ASSERT_EQ(player_.Play(1), 1);
    ASSERT_TRUE(gated_->WaitArrived());
    ASSERT_EQ(player_.Pause(), 1);
    gated_->OpenGate();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));

    auto stopped = std::async(std::launch::async, [&] { return player_.Stop(); });
    ASSERT_EQ(stopped.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(stopped.get(), 1);
    EXPECT_EQ(platform::WaveOutDevicesOpen(), 0);
    EXPECT_EQ(player_.LastEndReason(), CdPlayer::EndReason::Stopped);
    EXPECT_FALSE(player_.IsPaused());

    // Whatever reached the sink is the range's beginning, cut where the pause held it.
    const auto captured = sink_.Captured();
    EXPECT_TRUE(playertest::IsPrefixOf(captured, Disc(), 0));
    EXPECT_LE(captured.size(), 5u * 58800);

    int before = 0, after = 0;
    player_.GetPosition(before);
    EXPECT_EQ(player_.SetPosition(1, 30), 0);  // stopped: nothing changes
    EXPECT_EQ(player_.Pause(), 0);
    player_.GetPosition(after);
    EXPECT_EQ(after, before);
}

TEST_F(CdPlayerTest, ADriveFailurePostsPlayEndAndTheNextStopReleasesTheStream) {
    MakeDisc({3000});
    player_.SelectTrack(1);
    gated_->CloseGateAt(100);
    ASSERT_EQ(player_.Play(1), 1);
    ASSERT_TRUE(gated_->WaitArrived());
    sim_->SetReady(false);
    gated_->OpenGate();
    ASSERT_TRUE(playertest::ProcessEventsUntil([&] { return window_.playEnds == 1; }));
    ASSERT_TRUE(playertest::ProcessEventsUntil(
        [&] { return player_.LastEndReason() == CdPlayer::EndReason::DriveFailed; }));
    EXPECT_EQ(platform::WaveOutDevicesOpen(), 0);  // the thread closed it
    EXPECT_EQ(player_.Pause(), 0);                 // no device to pause
    EXPECT_EQ(player_.Stop(), 1);                  // joins the thread, frees the rest
    EXPECT_EQ(player_.Stop(), 1);

    const auto captured = sink_.Captured();
    EXPECT_TRUE(playertest::IsPrefixOf(captured, Disc(), 0));
    EXPECT_LE(captured.size(), 100u * 2352);

    // A new stream starts cleanly afterwards.
    sim_->SetReady(true);
    player_.SelectTrack(1);
    ASSERT_EQ(player_.Play(1), 1);
    EXPECT_TRUE(playertest::ProcessEventsUntil([&] { return window_.playEnds == 2; }));
}

TEST_F(CdPlayerTest, WithoutASoundDeviceStartFailsAndLeavesOpenFailed) {
    MakeDisc({300});
    playertest::SoundSink noDevice(false);
    player_.SelectTrack(1);
    EXPECT_EQ(player_.Play(1), 0);
    EXPECT_FALSE(player_.IsPlaying());
    EXPECT_FALSE(player_.IsPaused());
    EXPECT_EQ(player_.Pause(), 0);
    EXPECT_EQ(player_.SetPosition(1, 3), 1);  // accepted, no stream to move
    EXPECT_EQ(player_.Stop(), 1);
    EXPECT_EQ(platform::WaveOutDevicesOpen(), 0);
    EXPECT_EQ(window_.playEnds, 0);
}

}  // namespace

// The transport logic over a plain list of rows (a PlayerView with check states and
// track numbers, no window), driving a real CdPlayer on a simulated drive into ALSA's file
// sink (see PlayerTestSupport.h). WM_PLAY_END reaches the logic through a stand-in
// for the main window, as it would in the program.
#include "player/PlayerTransport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "PlayerTestSupport.h"

using namespace player;

namespace {

class ListView : public PlayerView {
  public:
    std::vector<int> numbers;
    std::vector<bool> checked;
    std::vector<bool> data;
    int selected = -1;
    std::vector<int> marks;  // every row started, in order
    int sliderMax = -1;
    int sliderPos = 0;
    int timerStarts = 0;
    int timerKills = 0;
    int dispatched = 0;

    int RowCount() const override { return static_cast<int>(numbers.size()); }
    bool IsRowChecked(int row) const override { return checked[row]; }
    bool IsDataRow(int row) const override { return data[row]; }
    int RowTrackNumber(int row) const override { return numbers[row]; }
    int FirstSelectedRow() const override { return selected; }
    void SetSelectionMark(int row) override { marks.push_back(row); }
    void SetSliderRange(int, int maximum) override { sliderMax = maximum; }
    int SliderPosition() const override { return sliderPos; }
    void SetSliderPosition(int seconds) override { sliderPos = seconds; }
    void StartPositionTimer() override { ++timerStarts; }
    void KillPositionTimer() override { ++timerKills; }
    void DispatchOneMessage() override { ++dispatched; }
};

class PlayerTransportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        playertest::EnsureApplication();
        cdaccess::ClearAddedDrives();
        cdaccess::SetSystemDrivesListed(false);
        // Four tracks: three short ones and a long one the gate can hold.
        sim_ = std::make_shared<cdaccess::SimulatedDrive>(
            cdaccess::SimulatedDrive::MakeTestAudio(150 + 150 + 150 + 3000 + 100, 9));
        sim_->SetAudioTracks({150, 150, 150, 3000});
        gated_ = std::make_shared<playertest::GatedDrive>(sim_);
        cdaccess::AddDrive(gated_);
        const std::uint32_t handle = playertest::OpenFirstDrive();
        ASSERT_NE(handle, 0u);
        player_.SetCdHandle(handle);
        player_.SetMainWindow(platform::WindowHandleOf(&window_));
        window_.onPlayEnd = [this] { transport_.OnPlayEnd(); };
        view_.numbers = {1, 2, 3, 4};
        view_.checked = {false, false, false, false};
        view_.data = {false, false, false, false};
    }
    void TearDown() override {
        gated_->OpenGate();
        window_.onPlayEnd = nullptr;
        player_.Stop();
        cdaccess::ClearAddedDrives();
    }

    playertest::SoundSink sink_;
    playertest::PlayEndWindow window_;
    std::shared_ptr<cdaccess::SimulatedDrive> sim_;
    std::shared_ptr<playertest::GatedDrive> gated_;
    CdPlayer player_;
    ListView view_;
    PlayerTransport transport_{player_, view_};
};

TEST_F(PlayerTransportTest, PlaybackRunsThroughTheCheckedRowsInALoop) {
    // A checked data row holds no audio: the loop passes it by.
    view_.data[2] = true;
    view_.checked = {false, true, true, true};
    gated_->CloseGateAt(450 + 100);  // holds the fourth track one second in
    transport_.OnPlay();
    EXPECT_EQ(transport_.CurrentRow(), 1);
    EXPECT_EQ(view_.sliderMax, 2);  // 150 frames
    // Row 1 ends, row 3 starts.
    ASSERT_TRUE(playertest::ProcessEventsUntil([&] { return transport_.CurrentRow() == 3; }));
    ASSERT_TRUE(gated_->WaitArrived());
    gated_->OpenGate();
    ASSERT_TRUE(playertest::ProcessEventsUntil([&] { return view_.marks.size() >= 3; }));
    EXPECT_EQ(view_.marks[2], 1);  // after the last checked row: the first again
    EXPECT_GE(view_.timerKills, 2);
    EXPECT_EQ(view_.marks[0], 1);
    EXPECT_EQ(view_.marks[1], 3);
}

TEST_F(PlayerTransportTest, FirstSearchesBackwardsAndWrapsToTheLastCheckedRow) {
    view_.checked = {true, false, true, false};
    transport_.OnFirst();  // on row 0: wraps to the last checked row
    EXPECT_EQ(transport_.CurrentRow(), 2);
    transport_.OnFirst();  // row 0 lies before row 2
    EXPECT_EQ(transport_.CurrentRow(), 0);

    view_.checked = {true, false, false, false};
    transport_.OnFirst();  // the only checked row is the current one
    EXPECT_EQ(transport_.CurrentRow(), 0);
    EXPECT_EQ(view_.marks, (std::vector<int>{2, 0, 0}));

    view_.checked = {false, false, false, false};
    transport_.OnFirst();  // nothing checked: it only stops
    EXPECT_FALSE(player_.IsPlaying());
    EXPECT_EQ(view_.marks.size(), 3u);
}

TEST_F(PlayerTransportTest, WithNoCheckedRowPlayAndNextStartNothing) {
    transport_.OnPlay();
    transport_.OnNext();
    EXPECT_TRUE(view_.marks.empty());
    EXPECT_FALSE(player_.IsPlaying());
    EXPECT_EQ(view_.timerStarts, 0);

    // A double-click with no selected row dispatches one message and does nothing more.
    transport_.OnDoubleClick();
    EXPECT_EQ(view_.dispatched, 1);
    EXPECT_TRUE(view_.marks.empty());
    // The menu entry starts the selected row even when it is not checked.
    view_.selected = 2;
    transport_.OnPlayMenu();
    EXPECT_EQ(transport_.CurrentRow(), 2);
    EXPECT_EQ(view_.dispatched, 1);
}

TEST_F(PlayerTransportTest, PlayWhilePausedResumesTheStreamOnlyWhenARowIsChecked) {
    view_.checked = {false, false, false, true};
    gated_->CloseGateAt(450 + 100);
    transport_.OnPlay();
    ASSERT_TRUE(gated_->WaitArrived());
    transport_.OnPause();
    EXPECT_TRUE(player_.IsPaused());
    gated_->OpenGate();  // the thread fills the paused device and waits

    view_.checked = {false, false, false, false};
    transport_.OnPlay();
    EXPECT_TRUE(player_.IsPaused());

    view_.checked = {true, false, false, false};
    transport_.OnPlay();  // selects row 0, then resumes the paused stream of row 3
    EXPECT_TRUE(player_.IsPlaying());
    EXPECT_FALSE(player_.IsPaused());
    EXPECT_EQ(transport_.CurrentRow(), 0);
    EXPECT_EQ(player_.RangeStart(), 0);
}

TEST_F(PlayerTransportTest, BackFastForwardAndSliderMoveThePosition) {
    view_.checked = {false, false, false, true};
    gated_->CloseGateAt(450 + 100);  // the read of the block at 100 frames (1 s) is held
    transport_.OnPlay();
    ASSERT_TRUE(gated_->WaitArrived());
    int seconds = -1;
    transport_.OnTimer();
    EXPECT_EQ(view_.sliderPos, 1);
    transport_.OnBack();  // 1 - 8 < 0: to 0
    player_.GetPosition(seconds);
    EXPECT_EQ(seconds, 0);
    transport_.OnForward();
    transport_.OnForward();
    player_.GetPosition(seconds);
    EXPECT_EQ(seconds, 16);
    view_.sliderPos = 30;
    const int timers = view_.timerStarts;
    transport_.OnSliderReleased();
    player_.GetPosition(seconds);
    EXPECT_EQ(seconds, 30);
    EXPECT_EQ(view_.timerStarts, timers + 1);

    gated_->OpenGate();
    transport_.OnStop();
    player_.GetPosition(seconds);
    transport_.OnForward();  // after a stop a seek changes nothing
    view_.sliderPos = 5;
    transport_.OnSliderReleased();
    int after = -1;
    player_.GetPosition(after);
    EXPECT_EQ(after, seconds);
    EXPECT_EQ(view_.timerStarts, timers + 1);
}

}  // namespace

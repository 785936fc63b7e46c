// The headless `--play` command, run in-process. Discs come either as a BIN/CUE image
// written by the test (read through libcdio like any --disc) or as a GatedDrive over a
// simulated drive, listed ahead of everything so the command opens it; the sound
// device is ALSA's file sink (see PlayerTestSupport.h).
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <thread>

#include "PlayerTestSupport.h"
#include "cli/Commands.h"
#include "platform/WaveOut.h"

using namespace cli;

using playertest::Frames;

namespace {

class PlayCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        playertest::EnsureApplication();
        ::unsetenv("TRACKMILL_DISC");
        cdaccess::ClearAddedDrives();
        cdaccess::SetSystemDrivesListed(false);
    }
    void TearDown() override { cdaccess::ClearAddedDrives(); }

    // A CUE sheet over a raw image: two audio tracks of 300 and 200 frames.
    std::string WriteImage() {
        audio_ = cdaccess::SimulatedDrive::MakeTestAudio(500, 3);
        const auto bin = sink_.Dir() / "disc.bin";
        std::ofstream(bin, std::ios::binary)
            .write(reinterpret_cast<const char*>(audio_.data()),
                   static_cast<std::streamsize>(audio_.size()));
        const auto cue = sink_.Dir() / "disc.cue";
        std::ofstream(cue) << "FILE \"disc.bin\" BINARY\n"
                              "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                              "  TRACK 02 AUDIO\n    INDEX 01 00:04:00\n";
        return cue.string();
    }

    // A simulated one-track disc of 3000 frames whose reads stop at frame 100 until
    // the gate opens.
    void AddGatedDisc() {
        sim_ = std::make_shared<cdaccess::SimulatedDrive>(
            cdaccess::SimulatedDrive::MakeTestAudio(3100, 4));
        sim_->SetAudioTracks({3000});
        gated_ = std::make_shared<playertest::GatedDrive>(sim_);
        gated_->CloseGateAt(100);
        cdaccess::AddDrive(gated_);
    }

    playertest::SoundSink sink_;
    std::vector<unsigned char> audio_;
    std::shared_ptr<cdaccess::SimulatedDrive> sim_;
    std::shared_ptr<playertest::GatedDrive> gated_;
};

TEST_F(PlayCommandTest, PlaysTheRowOfADiscImageToItsEnd) {
    const std::string cue = WriteImage();
    EXPECT_EQ(RunPlayCommand({"--play", "2", "--disc", cue}), 0);
    EXPECT_EQ(sink_.Captured(), Frames(audio_, 300, 175));
    EXPECT_EQ(platform::WaveOutDevicesOpen(), 0);
}

// Discs the list takes are played too: here the first track is numbered 2 and holds
// no frames, and the next row is track 3.
TEST_F(PlayCommandTest, PlaysDiscsWhoseFirstTrackIsNotOneOrEmpty) {
    sim_ =
        std::make_shared<cdaccess::SimulatedDrive>(cdaccess::SimulatedDrive::MakeTestAudio(400, 6));
    cdaccess::DiscToc toc;
    toc.firstTrack = 2;
    toc.lastTrack = 3;
    toc.tracks = {{2, false, 0}, {3, false, 0}};
    toc.leadOut = 300;
    sim_->SetToc(toc);
    cdaccess::AddDrive(sim_);
    EXPECT_EQ(RunPlayCommand({"--play", "1"}), 0);
    EXPECT_TRUE(sink_.Captured().empty());
    EXPECT_EQ(RunPlayCommand({"--play", "2"}), 0);
    EXPECT_EQ(sink_.Captured(), Frames(sim_->Disc(), 0, 275));
    EXPECT_EQ(platform::WaveOutDevicesOpen(), 0);
}

TEST_F(PlayCommandTest, UsageErrorsAndAnImageThatCannotBeOpenedExitWithTwo) {
    const std::string cue = WriteImage();
    EXPECT_EQ(RunPlayCommand({"--play"}), 2);
    EXPECT_EQ(RunPlayCommand({"--play", "two"}), 2);
    EXPECT_EQ(RunPlayCommand({"--play", "0"}), 2);
    EXPECT_EQ(RunPlayCommand({"--play", "1", "--disc"}), 2);
    EXPECT_EQ(RunPlayCommand({"--play", "1", "--loud"}), 2);
    EXPECT_EQ(RunPlayCommand({"--play", "3", "--disc", cue}), 2);  // the disc has 2 rows
    cdaccess::ClearAddedDrives();
    // An image that cannot be opened is an error in the command line, as for every command.
    EXPECT_EQ(RunPlayCommand({"--play", "1", "--disc", (sink_.Dir() / "none.cue").string()}), 2);
}

TEST_F(PlayCommandTest, WithoutASoundDeviceItExitsWithOne) {
    const std::string cue = WriteImage();
    playertest::SoundSink noDevice(false);
    EXPECT_EQ(RunPlayCommand({"--play", "1", "--disc", cue}), 1);
    EXPECT_EQ(platform::WaveOutDevicesOpen(), 0);
}

TEST_F(PlayCommandTest, CtrlCStopsCleanly) {
    AddGatedDisc();
    // The read at frame 100 is held until well after the interrupt, so the command
    // has asked the player to stop by the time the thread goes on.
    std::thread interrupter([&] {
        if (gated_->WaitArrived()) std::raise(SIGINT);
        std::this_thread::sleep_for(std::chrono::seconds(1));
        gated_->OpenGate();
    });
    const int status = RunPlayCommand({"--play", "1"});
    interrupter.join();
    EXPECT_EQ(status, 0);
    EXPECT_EQ(platform::WaveOutDevicesOpen(), 0);
    const auto captured = sink_.Captured();
    EXPECT_LE(captured.size(), 10u * 58800);
    EXPECT_TRUE(playertest::IsPrefixOf(captured, sim_->Disc(), 0));
}

TEST_F(PlayCommandTest, ADriveFailureExitsWithOne) {
    AddGatedDisc();
    std::thread breaker([&] {
        if (gated_->WaitArrived()) sim_->SetReady(false);
        gated_->OpenGate();
    });
    EXPECT_EQ(RunPlayCommand({"--play", "1"}), 1);
    breaker.join();
    EXPECT_EQ(platform::WaveOutDevicesOpen(), 0);
}

}  // namespace

// The library's reads against a simulated drive. The drive is registered with
// AddDrive and the machine's own drives are left out of the listing, so every call
// below reaches the in-memory disc: its jitter misplaces any read that does not
// continue the previous one, and its scripted errors fail chosen addresses.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "cdaccess/CdAccess.h"
#include "cdaccess/SimulatedDrive.h"

namespace {

using cdaccess::SimulatedDrive;

// A ReadBlock header followed by its data area.
struct Block {
    explicit Block(std::uint32_t frames) : bytes(sizeof(ReadBlock) + frames * kFrameBytes) {
        get()->capacity = frames * kFrameBytes;
    }
    ReadBlock* get() { return reinterpret_cast<ReadBlock*>(bytes.data()); }
    std::vector<unsigned char> bytes;
};

// Turns a successful read of frames into the reference for the next overlap-checked
// read: its last frame, at that frame's disc address.
ReadBlock* TailOf(ReadBlock* read) {
    const std::uint32_t last = read->frameCount - 1;
    read->dataOffset += static_cast<std::int32_t>(last * kFrameBytes);
    read->startLba += last;
    read->frameCount = 1;
    read->dataLength = kFrameBytes;
    return read;
}

class CdAccessTest : public ::testing::Test {
  protected:
    void SetUp() override {
        cdaccess::ClearAddedDrives();
        cdaccess::SetSystemDrivesListed(false);
        drive = std::make_shared<SimulatedDrive>(SimulatedDrive::MakeTestAudio(600, 7));
        drive->SetAudioTracks({200, 250, 150});
        cdaccess::AddDrive(drive);
        DriveListRecord list{};
        list.capacity = 8;
        ASSERT_EQ(GetCDList(&list), 1);
        ASSERT_EQ(list.count, 1);
        HandleRequest request{12, 1, 0, 0, 0, 0, 0, 1, 3};
        handle = GetCDHandle(&request);
        ASSERT_NE(handle, 0u);
    }
    void TearDown() override { cdaccess::ClearAddedDrives(); }

    const unsigned char* DiscAt(std::uint32_t lba) const {
        return drive->Disc().data() + std::size_t{lba} * kFrameBytes;
    }

    std::shared_ptr<SimulatedDrive> drive;
    std::uint32_t handle = 0;
};

TEST_F(CdAccessTest, TocRecordHasBigEndianAddressesAndLeadOut) {
    cdaccess::DiscToc toc;
    toc.firstTrack = 3;
    toc.lastTrack = 4;
    toc.tracks = {{3, false, 0}, {4, true, 0x012345}};
    toc.leadOut = 0x01ABCDEF;
    drive->SetToc(toc);
    TocRecord record;
    ASSERT_EQ(ReadTOC(handle, &record), 1);
    EXPECT_EQ(record.firstTrack, 3);
    EXPECT_EQ(record.lastTrack, 4);
    EXPECT_EQ(record.descriptors[0].control & kTocDataTrack, 0);
    EXPECT_EQ(record.descriptors[1].control & kTocDataTrack, kTocDataTrack);
    const unsigned char second[4] = {0x00, 0x01, 0x23, 0x45};
    EXPECT_EQ(std::memcmp(record.descriptors[1].address, second, 4), 0);
    const unsigned char leadOut[4] = {0x01, 0xAB, 0xCD, 0xEF};
    EXPECT_EQ(std::memcmp(record.descriptors[2].address, leadOut, 4), 0);
    EXPECT_EQ(record.descriptors[2].trackNumber, 0xAA);
}

TEST_F(CdAccessTest, UnknownHandlesAndOversizedReadsFail) {
    Block small(2);
    small.get()->startLba = 0;
    small.get()->frameCount = 3;  // more than the data area holds
    EXPECT_NE(ReadCDAudioLBA(handle, small.get()), 1);
    small.get()->frameCount = 1;
    EXPECT_EQ(ReadCDAudioLBA(handle + 100, small.get()), 0);
    EXPECT_EQ(TestUnitReady(handle + 100), kCdReadError);
    TocRecord record;
    EXPECT_EQ(ReadTOC(0, &record), 0);
    HandleRequest bad{12, 1, 0, 5, 0, 0, 0, 1, 3};  // target past the list
    EXPECT_EQ(GetCDHandle(&bad), 0u);
}

TEST_F(CdAccessTest, ScriptedErrorsFailTheChosenNumberOfTries) {
    drive->ScriptReadError(30, 2);
    Block block(27);
    block.get()->startLba = 27;
    block.get()->frameCount = 27;
    EXPECT_EQ(ReadCDAudioLBA(handle, block.get()), kCdReadError);
    EXPECT_EQ(block.get()->dataLength, 0u);
    EXPECT_EQ(ReadCDAudioLBA(handle, block.get()), kCdReadError);
    ASSERT_EQ(ReadCDAudioLBA(handle, block.get()), 1);
    EXPECT_EQ(block.get()->dataLength, 27 * kFrameBytes);
    EXPECT_EQ(std::memcmp(block.get()->data(), DiscAt(27), 27 * kFrameBytes), 0);

    drive->SetReady(false);
    EXPECT_EQ(TestUnitReady(handle), kCdReadError);
    EXPECT_EQ(ReadCDAudioLBA(handle, block.get()), kCdReadError);
}

// After a seek the drive lands off; the overlap check finds the previous read's last
// frame in what it read and reports exactly the frames that follow it, and leaves
// the drive where the next plain read continues exactly.
TEST_F(CdAccessTest, OverlapReadJoinsExactlyWhateverTheJitter) {
    // The search reaches two frames (1176 samples) either way of where the reference
    // belongs: up to its very edge the read joins.
    constexpr int kEdge = 2 * kFrameBytes / 4;
    for (int jitter : {0, 1, -1, 37, -300, 587, -587, 1000, -1000, kEdge, -kEdge}) {
        SCOPED_TRACE(jitter);
        drive->SetSeekJitter(0);
        Block previous(27), current(27), next(27);
        previous.get()->startLba = 100;
        previous.get()->frameCount = 27;
        ASSERT_EQ(ReadCDAudioLBA(handle, previous.get()), 1);

        ReadBlock* ref = TailOf(previous.get());

        drive->SetSeekJitter(jitter);
        drive->ReadFrames(400, 1, next.get()->data());  // move away: the next read seeks
        current.get()->startLba = 127;
        current.get()->frameCount = 27;
        ASSERT_EQ(ReadCDAudioLBAEx(handle, current.get(), ref), 1);
        ASSERT_EQ(current.get()->dataLength, 27 * kFrameBytes);
        EXPECT_EQ(std::memcmp(current.get()->data() + current.get()->dataOffset, DiscAt(127),
                              27 * kFrameBytes),
                  0);

        next.get()->startLba = 154;
        next.get()->frameCount = 27;
        ASSERT_EQ(ReadCDAudioLBA(handle, next.get()), 1);
        EXPECT_EQ(std::memcmp(next.get()->data(), DiscAt(154), 27 * kFrameBytes), 0);
    }
    // One sample past the edge the reference is not found: a read error, to be retried.
    for (int jitter : {kEdge + 1, -kEdge - 1}) {
        SCOPED_TRACE(jitter);
        drive->SetSeekJitter(0);
        Block previous(27), current(27), away(1);
        previous.get()->startLba = 100;
        previous.get()->frameCount = 27;
        ASSERT_EQ(ReadCDAudioLBA(handle, previous.get()), 1);
        drive->SetSeekJitter(jitter);
        drive->ReadFrames(400, 1, away.get()->data());
        current.get()->startLba = 127;
        current.get()->frameCount = 27;
        EXPECT_EQ(ReadCDAudioLBAEx(handle, current.get(), TailOf(previous.get())), kCdReadError);
    }
}

TEST_F(CdAccessTest, OverlapReadRetriesWhenTheReferenceIsNotFound) {
    Block reference(1), current(27);
    reference.get()->startLba = 99;
    reference.get()->frameCount = 1;
    reference.get()->dataLength = kFrameBytes;
    std::memset(reference.get()->data(), 0x5A, kFrameBytes);  // bytes the disc does not hold
    current.get()->startLba = 100;
    current.get()->frameCount = 27;
    EXPECT_EQ(ReadCDAudioLBAEx(handle, current.get(), reference.get()), kCdReadError);

    // An empty reference makes it a plain read.
    reference.get()->dataLength = 0;
    ASSERT_EQ(ReadCDAudioLBAEx(handle, current.get(), reference.get()), 1);
    EXPECT_EQ(std::memcmp(current.get()->data(), DiscAt(100), 27 * kFrameBytes), 0);
}

TEST_F(CdAccessTest, OverlapReadNearTheEndOfTheDisc) {
    Block previous(27), current(27);
    previous.get()->startLba = 546;
    previous.get()->frameCount = 27;
    ASSERT_EQ(ReadCDAudioLBA(handle, previous.get()), 1);
    ReadBlock* ref = TailOf(previous.get());
    current.get()->startLba = 573;
    current.get()->frameCount = 27;  // ends exactly at the lead-out
    ASSERT_EQ(ReadCDAudioLBAEx(handle, current.get(), ref), 1);
    EXPECT_EQ(std::memcmp(current.get()->data(), DiscAt(573), 27 * kFrameBytes), 0);
}

}  // namespace

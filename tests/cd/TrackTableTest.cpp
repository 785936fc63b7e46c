// Track tables built from simulated discs.
//
// The seam: each test lists one or more cdaccess::SimulatedDrive objects ahead of
// everything else (AddDrive) and hides the machine's drives and TRACKMILL_DISC
// (SetSystemDrivesListed(false)), so the library's real calls - drive list, handle,
// table-of-contents record - run against a table of contents the test chose.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "cd/DiscSession.h"
#include "cd/TrackTable.h"
#include "cdaccess/Drive.h"
#include "cdaccess/SimulatedDrive.h"

using namespace cd;

using cdaccess::DiscToc;
using cdaccess::SimulatedDrive;
using cdaccess::TocTrack;

namespace {

constexpr std::uint32_t kGap = 11400;

class SimulatedDisc : public ::testing::Test {
  protected:
    void SetUp() override {
        cdaccess::ClearAddedDrives();
        cdaccess::SetSystemDrivesListed(false);
    }
    void TearDown() override {
        CloseDisc(disc_);
        cdaccess::ClearAddedDrives();
        cdaccess::SetSystemDrivesListed(true);
    }

    std::shared_ptr<SimulatedDrive> AddDrive(const std::string& name = "Simulated drive") {
        auto drive = std::make_shared<SimulatedDrive>(SimulatedDrive::MakeTestAudio(10), name);
        cdaccess::AddDrive(drive);
        return drive;
    }
    std::shared_ptr<SimulatedDrive> AddDisc(const DiscToc& toc) {
        auto drive = AddDrive();
        drive->SetToc(toc);
        return drive;
    }
    // Opens the disc as a command does and returns the rows.
    const std::vector<TrackRow>& Open() {
        std::string error;
        EXPECT_TRUE(OpenDisc({}, disc_, error)) << error;
        return disc_.rows;
    }

    static DiscToc Toc(std::uint8_t first, std::vector<std::pair<bool, std::uint32_t>> tracks,
                       std::uint32_t leadOut) {
        DiscToc toc;
        toc.firstTrack = first;
        std::uint8_t number = first;
        for (auto [data, start] : tracks) toc.tracks.push_back(TocTrack{number++, data, start});
        toc.lastTrack = static_cast<std::uint8_t>(number - 1);
        toc.leadOut = leadOut;
        return toc;
    }

    DiscState disc_;
};

void ExpectRow(const TrackRow& row, const std::string& number, const std::string& name,
               const std::string& time) {
    EXPECT_EQ(row.number, number);
    EXPECT_EQ(row.name, name);
    EXPECT_EQ(row.time, time);
}

}  // namespace

TEST_F(SimulatedDisc, TwelveTracksAreNumberedAndNamedFromOne) {
    std::vector<std::uint32_t> lengths;
    for (std::uint32_t i = 0; i < 12; ++i) lengths.push_back(1000 + 75 * i);
    AddDrive()->SetAudioTracks(lengths);
    const auto& rows = Open();
    ASSERT_EQ(rows.size(), 12u);
    std::uint32_t start = 0;
    for (std::size_t i = 0; i < 12; ++i) {
        EXPECT_EQ(rows[i].number, std::to_string(i + 1));
        EXPECT_EQ(rows[i].name, "Track " + std::to_string(i + 1));
        EXPECT_STREQ(disc_.table[i].name, rows[i].name.c_str());
        EXPECT_EQ(disc_.table[i].startLba, start);
        EXPECT_EQ(disc_.table[i].lengthFrames, lengths[i]);
        EXPECT_EQ(disc_.table[i].isData, 0);
        EXPECT_EQ(disc_.table[i].reserved[0], 0);
        EXPECT_EQ(disc_.table[i].reserved[1], 0);
        start += lengths[i];
    }
    ExpectRow(rows[0], "1", "Track 1", "00:13");  // 1000 frames: 13.3 s
}

TEST_F(SimulatedDisc, FirstTrackThreeKeepsRowNumbersFromOne) {
    AddDrive()->SetAudioTracks({750, 1500, 2250}, 3);
    const auto& rows = Open();
    ASSERT_EQ(rows.size(), 3u);
    ExpectRow(rows[0], "1", "Track 3", "00:10");
    ExpectRow(rows[1], "2", "Track 4", "00:20");
    ExpectRow(rows[2], "3", "Track 5", "00:30");
    // Apart from the row's text: the track's number on the disc and its title.
    EXPECT_EQ(rows[2].trackNumber, 5);
    const cd::Track track = cd::TrackOfRow(disc_.table[2], rows[2]);
    EXPECT_EQ(track.number, 5);
    EXPECT_EQ(track.title, "Track 5");
    EXPECT_EQ(track.entry.startLba, disc_.table[2].startLba);
}

TEST_F(SimulatedDisc, LastAudioTrackBeforeADataSessionLosesTheGap) {
    // Audio 0..1000, audio 1000..3000, gap, data track of 300 frames.
    AddDisc(Toc(1, {{false, 0}, {false, 1000}, {true, 3000 + kGap}}, 3000 + kGap + 300));
    const auto& rows = Open();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(disc_.table[1].lengthFrames, 2000u);
    ExpectRow(rows[1], "2", "Track 2", "00:26");
    ExpectRow(rows[2], "3", "Data Track", "00:04");
    EXPECT_EQ(disc_.table[2].isData, 1);
    EXPECT_EQ(disc_.table[2].startLba, 3000 + kGap);
    EXPECT_EQ(disc_.table[2].lengthFrames, 300u);
}

TEST_F(SimulatedDisc, ADifferenceOfExactlyTheGapIsKept) {
    AddDisc(Toc(1, {{false, 0}, {true, kGap}, {false, kGap + 100}, {true, kGap + 101 + kGap}},
                3 * kGap));
    Open();
    ASSERT_EQ(disc_.rows.size(), 4u);
    EXPECT_EQ(disc_.table[0].lengthFrames, kGap);  // not "greater than": kept whole
    ExpectRow(disc_.rows[0], "1", "Track 1", "02:32");
    EXPECT_EQ(disc_.table[2].lengthFrames, kGap + 1 - kGap);  // 11401 loses the gap
    // The rule looks only at the next track's data bit.
    EXPECT_EQ(disc_.table[1].lengthFrames, 100u);
}

TEST_F(SimulatedDisc, TimesTruncateToSecondsAndMinutesGrowPastTwoDigits) {
    AddDrive()->SetAudioTracks({74, 75, 59 * 75 + 74, 60 * 75, 245 * 75, 6000 * 75});
    const auto& rows = Open();
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[0].time, "00:00");
    EXPECT_EQ(rows[1].time, "00:01");
    EXPECT_EQ(rows[2].time, "00:59");
    EXPECT_EQ(rows[3].time, "01:00");
    EXPECT_EQ(rows[4].time, "04:05");
    EXPECT_EQ(rows[5].time, "100:00");
}

TEST_F(SimulatedDisc, LastTrackRunsToTheLeadOut) {
    AddDisc(Toc(1, {{false, 0}, {false, 500}}, 500 + 3 * 75 * 60 + 10));
    Open();
    ASSERT_EQ(disc_.rows.size(), 2u);
    EXPECT_EQ(disc_.table[1].lengthFrames, 3u * 75 * 60 + 10);
    EXPECT_EQ(disc_.rows[1].time, "03:00");
}

TEST_F(SimulatedDisc, NinetyNineTracksAreAllListedAndWriteNoFurther) {
    std::vector<std::uint32_t> lengths(99);
    for (std::size_t i = 0; i < lengths.size(); ++i)
        lengths[i] = 100 + static_cast<std::uint32_t>(i);
    AddDrive()->SetAudioTracks(lengths);

    DriveListRecord drives{};
    drives.capacity = 8;
    GetCDList(&drives);
    const std::uint32_t handle = OpenDrive(0, drives);
    ASSERT_NE(handle, 0u);
    TrackEntry table[kMaxTracks + 1];
    std::memset(table, 0xA5, sizeof table);
    std::vector<TrackRow> rows;
    EXPECT_EQ(BuildTrackTable(handle, drives, table, rows), 99);
    ASSERT_EQ(rows.size(), 99u);
    ExpectRow(rows[39], "40", "Track 40", "00:01");
    ExpectRow(rows[98], "99", "Track 99", "00:02");
    EXPECT_EQ(table[39].lengthFrames, 139u);
    EXPECT_EQ(table[98].lengthFrames, 198u);  // from the lead-out
    const unsigned char* canary = reinterpret_cast<const unsigned char*>(&table[kMaxTracks]);
    for (std::size_t i = 0; i < sizeof(TrackEntry); ++i) ASSERT_EQ(canary[i], 0xA5) << i;
    CloseCDHandle(handle);
}

TEST_F(SimulatedDisc, ADataTrackAtTheEndRunsToTheLeadOut) {
    // The lead-out carries no data bit: the gap rule is for a following data track only.
    AddDisc(Toc(1, {{false, 0}, {true, 1000 + kGap}}, 1000 + kGap + 20000));
    Open();
    ASSERT_EQ(disc_.rows.size(), 2u);
    EXPECT_EQ(disc_.table[0].lengthFrames, 1000u);
    EXPECT_EQ(disc_.table[1].lengthFrames, 20000u);
    TocRecord toc{};
    ASSERT_EQ(ReadTOC(disc_.handle, &toc), 1);
    EXPECT_EQ(toc.descriptors[2].control & kTocDataTrack, 0);
    EXPECT_EQ(toc.descriptors[2].trackNumber, 0xAA);
}

TEST_F(SimulatedDisc, OpenDriveTakesTheFirstDriveThatOpensAndClosesTheOldHandle) {
    DriveListRecord drives{};
    drives.capacity = 8;
    GetCDList(&drives);
    EXPECT_EQ(OpenDrive(0, drives), 0u);  // an empty list

    AddDrive("broken")->SetOpenFails(true);
    AddDrive("second")->SetAudioTracks({100});
    AddDrive("third")->SetAudioTracks({100});
    std::memset(&drives, 0, sizeof drives);
    drives.capacity = 8;
    GetCDList(&drives);
    ASSERT_EQ(drives.count, 3);
    const std::uint32_t first = OpenDrive(0, drives);
    ASSERT_NE(first, 0u);
    EXPECT_EQ(cdaccess::DriveForHandle(first)->Name(), "second");
    const std::uint32_t again = OpenDrive(first, drives);
    EXPECT_NE(again, 0u);
    EXPECT_EQ(cdaccess::DriveForHandle(first), nullptr);  // closed
    CloseCDHandle(again);
}

TEST_F(SimulatedDisc, BuildTrackTableRefreshesTheDriveList) {
    AddDrive()->SetAudioTracks({100, 200});
    DriveListRecord drives{};
    drives.capacity = 8;
    GetCDList(&drives);
    const std::uint32_t handle = OpenDrive(0, drives);
    std::memset(&drives, 0x5A, sizeof drives);
    TrackEntry table[kMaxTracks];
    std::vector<TrackRow> rows{TrackRow{"stale", "stale", "stale", 0, "stale"}};
    EXPECT_EQ(BuildTrackTable(handle, drives, table, rows), 2);
    EXPECT_EQ(rows.size(), 2u);
    EXPECT_EQ(drives.capacity, 8);
    EXPECT_EQ(drives.count, 1);
    EXPECT_EQ(drives.entries[1].adapter, 0);  // cleared before the request
    CloseCDHandle(handle);
}

TEST_F(SimulatedDisc, UnreadableContentsGiveNoRows) {
    auto drive = AddDrive("not ready");
    drive->SetAudioTracks({100});
    drive->SetReady(false);
    std::string error;
    EXPECT_FALSE(OpenDisc({}, disc_, error));
    EXPECT_EQ(disc_.handle, 0u);
    EXPECT_TRUE(disc_.rows.empty());
    EXPECT_NE(error.find("table of contents"), std::string::npos) << error;

    DriveListRecord drives{};
    std::vector<TrackRow> rows;
    EXPECT_EQ(BuildTrackTable(0, drives, nullptr, rows), 0);  // no handle at all
}

TEST_F(SimulatedDisc, OpenDiscReportsUsageErrorsAndMissingDrives) {
    std::string error;
    EXPECT_FALSE(OpenDisc({"--list"}, disc_, error));
    EXPECT_NE(error.find("no CD drive"), std::string::npos) << error;
    error.clear();
    EXPECT_FALSE(OpenDisc({"--list", "--disc"}, disc_, error));
    EXPECT_NE(error.find("--disc"), std::string::npos) << error;

    AddDrive("only")->SetOpenFails(true);
    EXPECT_FALSE(OpenDisc({}, disc_, error));
    EXPECT_NE(error.find("could be opened"), std::string::npos) << error;
}

TEST_F(SimulatedDisc, OpenDiscNamesTheDriveThatOpened) {
    AddDrive("Simulated one")->SetAudioTracks({300, 400});
    const auto& rows = Open();
    EXPECT_EQ(disc_.driveName, "Simulated one");
    EXPECT_NE(disc_.handle, 0u);
    EXPECT_EQ(rows.size(), 2u);
}

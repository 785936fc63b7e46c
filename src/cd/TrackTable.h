// The disc's table of contents turned into the track table: one TrackEntry and one
// list row per track.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cdaccess/CdAccess.h"

namespace cd {

// The track table's size: every track a CD can hold (track numbers run from 1 to 99).
inline constexpr int kMaxTracks = 99;

#pragma pack(push, 1)
struct TrackEntry {
    char name[324];  // "Track %d" or "Data Track", NUL-terminated
    std::uint32_t startLba;
    std::uint32_t lengthFrames;
    std::int32_t isData;
    std::int32_t reserved[2];
};
#pragma pack(pop)
static_assert(sizeof(TrackEntry) == 344);

// The three column texts of one list row: row number from 1, name, "%02d:%02d";
// and, apart from what the row shows, the track's number on the disc and its title.
// The program finds a row's track by trackNumber, and names its file and its log
// entry by title, never by the row's text.
struct TrackRow {
    std::string number;
    std::string name;
    std::string time;
    int trackNumber = 0;
    std::string title;  // "Track N" or "Data Track" until a disc's names give another
};

// A track as the rip engine and the rip log take it: the table's record, the track's
// number on the disc and its title.
struct Track {
    TrackEntry entry{};
    int number = 0;
    std::string title;
};
// The track of one row: the row's table entry with the row's number and title.
Track TrackOfRow(const TrackEntry& entry, const TrackRow& row);

// The 4 bytes at p, most significant first.
std::uint32_t DecodeBigEndian32(const unsigned char* p);

// Closes `handle` when non-zero, then asks each listed drive in order for a handle;
// returns the first non-zero one (0 when none opens).
std::uint32_t OpenDrive(std::uint32_t handle, const DriveListRecord& drives);

// Fills table (kMaxTracks entries) and rows from the disc's table of contents.
// Returns the number of rows (0 when the contents cannot be read).
int BuildTrackTable(std::uint32_t handle, DriveListRecord& drives, TrackEntry* table,
                    std::vector<TrackRow>& rows);

}  // namespace cd

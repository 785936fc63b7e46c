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

// The three column texts of one list row: row number from 1, name, "%02d:%02d".
struct TrackRow {
    std::string number;
    std::string name;
    std::string time;
};

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

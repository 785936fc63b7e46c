// The drive is opened and the disc's table of contents becomes the track table: one
// TrackEntry and one list row per track, with the row texts the track list shows.
#include "cd/TrackTable.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace cd {

namespace {

// On an enhanced CD the data track's table entry lies this many frames after the end
// of the audio session: the audio session's lead-out (6750 frames), the data
// session's lead-in (4500) and the data track's own 150-frame pregap. Subtracting
// less would give the last audio track 150 frames of lead-out, which a drive cannot
// read (its rip would end in a read error or junk).
constexpr std::uint32_t kDataSessionGapFrames = 11400;

}  // namespace

std::uint32_t DecodeBigEndian32(const unsigned char* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}

std::uint32_t OpenDrive(std::uint32_t handle, const DriveListRecord& drives) {
    if (handle != 0) CloseCDHandle(handle);
    handle = 0;
    // A list can never hold more entries than the record has room for.
    const int count = std::min<int>(drives.count, 8);
    for (int i = 0; i < count && handle == 0; ++i) {
        HandleRequest request{};
        request.size = sizeof(HandleRequest);
        request.one = 1;
        request.adapter = drives.entries[i].adapter;
        request.target = drives.entries[i].target;
        request.unit = drives.entries[i].unit;
        request.zero = 0;
        request.reserved = 0;
        request.byte10 = 1;
        request.byte11 = 3;
        handle = GetCDHandle(&request);
    }
    return handle;
}

Track TrackOfRow(const TrackEntry& entry, const TrackRow& row) {
    return Track{entry, row.trackNumber, row.title};
}

int BuildTrackTable(std::uint32_t handle, DriveListRecord& drives, TrackEntry* table,
                    std::vector<TrackRow>& rows) {
    rows.clear();

    std::memset(&drives, 0, sizeof drives);
    drives.capacity = 8;
    GetCDList(&drives);

    TocRecord toc;
    std::memset(&toc, 0, sizeof toc);
    ModifyCDParms(handle, 36, 0);
    if (ReadTOC(handle, &toc) != 1) return 0;
    if (toc.firstTrack > toc.lastTrack) return 0;

    // Every listed track needs its own descriptor and the next one (the following
    // track or the lead-out); the table holds the first kMaxTracks tracks.
    const int tracks =
        std::min({toc.lastTrack - toc.firstTrack + 1, kMaxTracks, kTocDescriptors - 1});
    for (int k = 0; k < tracks; ++k) {
        const int number = toc.firstTrack + k;
        const TocDescriptor& here = toc.descriptors[k];
        const TocDescriptor& next = toc.descriptors[k + 1];

        TrackEntry entry;
        std::memset(&entry, 0, sizeof entry);
        std::snprintf(entry.name, sizeof entry.name, "Track %d", number);
        entry.startLba = DecodeBigEndian32(here.address);
        if (here.control & kTocDataTrack) {
            entry.isData = 1;
            std::snprintf(entry.name, sizeof entry.name, "Data Track");
        }
        entry.lengthFrames = DecodeBigEndian32(next.address) - entry.startLba;
        // The last audio track before a data session does not own the gap before it.
        // Only a following data track counts: the lead-out is no track, and a data
        // track at the end of the disc runs to it.
        const bool nextIsTrack = k + 1 < toc.lastTrack - toc.firstTrack + 1;
        if (nextIsTrack && (next.control & kTocDataTrack) &&
            entry.lengthFrames > kDataSessionGapFrames)
            entry.lengthFrames -= kDataSessionGapFrames;
        if (table) table[k] = entry;

        const unsigned seconds = entry.lengthFrames / kFramesPerSecond;
        char time[32];
        std::snprintf(time, sizeof time, "%02u:%02u", seconds / 60, seconds % 60);
        rows.push_back(TrackRow{std::to_string(k + 1), entry.name, time, number, entry.name});
    }
    return static_cast<int>(rows.size());
}

}  // namespace cd

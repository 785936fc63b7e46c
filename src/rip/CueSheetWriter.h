// The cue sheet written with every rip, beside its files and named like its log. It
// describes the disc over the ripped files in the layout where each file holds its
// track from index 01 to the next track's index 01 (the next track's pregap at the
// end of the file), so the disc can be burned back or played gaplessly: one FILE per
// track, INDEX 00 and 01 where the disc has them, FLAGS, ISRC and CATALOG as the disc
// gives them, REM lines with the disc's identifiers. The program reads it back as a
// disc image.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "cd/DiscIds.h"
#include "rip/RipEngine.h"

namespace rip {

// What the disc says about one track beyond its place in the table of contents.
struct TrackDetails {
    int number = 0;
    int pregapFrames = -1;  // index 00 to index 01; -1 not known
    bool preEmphasis = false, copyPermitted = false, fourChannel = false;
    std::string isrc;  // empty: none
};

struct DiscDetails {
    std::string catalog;  // the media catalogue number; empty: none
    std::vector<TrackDetails> tracks;
    // The details of track `number`, or null when the drive told nothing about it.
    const TrackDetails* Track(int number) const;
};

// Asks the drive behind `handle` once: flags and pregaps from its table of contents,
// the catalogue number and the ISRCs (which a real drive reads from the sub-channel).
DiscDetails ReadDiscDetails(std::uint32_t handle);

// TITLE and PERFORMER texts for the sheet (empty: no line). The front end fills them
// from the disc's names; without them the sheet has none.
struct CueText {
    std::string title, performer;
};
struct CueSheetNames {
    CueText disc;
    std::map<int, CueText> tracks;  // by track number
};

// The disc's number for a ripped track (0 when the table of contents does not hold it).
int DiscTrackNumber(const TrackRecord& track, const cd::TableOfContents& toc);
// Whether the track is the audio hidden before track 1 ("Track 0"): the frames from
// the disc's start to track 1's index 01.
bool IsHiddenTrack(const TrackRecord& track, const cd::TableOfContents& toc);

// The sheet for the tracks of a batch whose files were written, their files named
// relative to `folder` (where the sheet goes). A batch of only some of the disc's audio
// tracks gives a sheet of those tracks, which says so in a REM line. The audio hidden
// before track 1, when ripped with it, is track 1's pregap in a file of its own. Empty,
// with the reason in `why`, when no track can be named.
std::string FormatCueSheet(const cd::TableOfContents& toc, const DiscDetails& details,
                           const CueSheetNames& names, const std::vector<TrackRecord>& tracks,
                           const std::string& folder, std::string& why);

// The sheet's path beside a log: the log's path with ".cue" for ".log".
std::string CueSheetPathFor(const std::string& logPath);
// Creates `path` (never replacing a file) with `text`. False with the reason in `error`;
// a sheet that could not be written whole is removed.
bool WriteCueSheet(const std::string& path, const std::string& text, std::string& error);

}  // namespace rip

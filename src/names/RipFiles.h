// The rip's file names and tags from a disc's names: the naming template picks each
// track's file and the tag writer tags it (with the release's front cover) before it
// takes its name. For a disc without names it gives the engine's default: files named
// "Track N" and no tags, exactly as without this.
#pragma once

#include <string>

#include "names/DiscNames.h"
#include "rip/CueSheetWriter.h"
#include "rip/TrackFiles.h"

namespace names {

struct RipFileSettings {
    std::string naming;      // the template ("naming" setting; empty: the default)
    bool id3v24 = false;     // "id3v24"
    bool cover = true;       // "cover": fetch and embed the front cover
    bool replayGain = true;  // "replaygain": the measured gains go into MP3 and FLAC files
    int trackCount = 0;      // the disc's audio tracks, for "n of total"; 0: as many as named
};

// The settings as the settings file holds them, with the naming template replaced by
// `naming` when that is not empty (the command line's --naming).
RipFileSettings ReadRipFileSettings(const std::string& naming = {});

// The engine's record for a batch with these names (with the ReplayGain writer alone
// when the disc has none, or nothing when that setting is off too). With a release id and the cover
// setting on, the front cover is fetched at once on a thread of its own; the first
// track to be tagged waits for it (at most the fetch's time-out) and every track of
// the batch gets the same cover, or none. The record may be copied; the fetch ends
// (cancelled if need be) when the last copy is gone.
rip::TrackFiles RipFilesFor(const DiscNames& names, const RipFileSettings& settings);

// The TITLE and PERFORMER lines of the rip's cue sheet: the album and its artist, each
// track's title and artist (the album artist when it has none); none without names.
rip::CueSheetNames CueNamesFor(const DiscNames& names);

}  // namespace names

// The names of one disc and its tracks, wherever they came from (MusicBrainz,
// CD-Text, or nothing known). One record flows from the sources to the cache, the
// track list, the file-name template and the tag writer. Tracks are known by their
// number on the disc, never by a display text.
#pragma once

#include <string>
#include <vector>

namespace names {

// Where a record's names came from.
enum class NamesSource { None, MusicBrainz, CdText, Edited };

struct TrackNames {
    int number = 0;  // the track's number on the disc (1..99)
    std::string title;
    std::string artist;    // empty: the album artist
    std::string composer;  // CD-Text's songwriter, where a disc names one
    std::string isrc;
    std::string musicBrainzTrackId;
    std::string musicBrainzRecordingId;
    std::string musicBrainzArtistId;
};

struct DiscNames {
    NamesSource source = NamesSource::None;
    std::string albumArtist;
    std::string album;
    std::string year;  // "YYYY", or a full date "YYYY-MM-DD" as the source gives it
    int discNumber = 0, discCount = 0;  // 0 unknown
    std::string label, catalogueNumber, barcode;
    std::string musicBrainzReleaseId, musicBrainzReleaseGroupId, musicBrainzArtistId;
    std::string musicBrainzDiscId;
    std::vector<TrackNames> tracks;  // by number; a track not listed has no names

    // The names of track `number`, or null when none are known.
    const TrackNames* Track(int number) const {
        for (const TrackNames& t : tracks)
            if (t.number == number) return &t;
        return nullptr;
    }
    bool Known() const { return source != NamesSource::None; }
};

}  // namespace names

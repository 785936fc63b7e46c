// Writes a track's names into its file as tags, under the names common tag editors
// read: MP3 an ID3v2 tag (version 2.3, or 2.4 when asked), FLAC Vorbis comments,
// WAV a RIFF INFO chunk and an "id3 " chunk holding the same ID3v2 tag as MP3.
//
// Fields: title, artist, album, album artist, composer, track number/total, disc number/total,
// date, ISRC, label, catalogue number, barcode and the MusicBrainz ids (release,
// release group, release track, recording, artist, album artist, disc id); ID3v2 keeps
// the ids in TXXX frames ("MusicBrainz Album Id" ...) and the recording id in a UFID
// frame, Vorbis comments under MUSICBRAINZ_ALBUMID ... . A cover, when given, goes in
// as the front cover (ID3v2 APIC and FLAC PICTURE of type 3). Fields without a value
// are left out.
#pragma once

#include <string>

#include "names/CoverArt.h"
#include "names/DiscNames.h"

namespace names {

enum class TagFormat { Mp3, Flac, Wav };

// The format of a file extension ("mp3", "flac", "wav", any case, without the dot).
bool TagFormatForExtension(const std::string& extension, TagFormat& format);

struct TagOptions {
    bool id3v24 = false;                // ID3v2.4 instead of 2.3 (MP3 and WAV)
    const CoverImage* cover = nullptr;  // embedded when it holds an image
    int trackCount = 0;                 // the disc's audio tracks; 0 unknown
};

// Tags the file at `path` (whatever its name ends with: the format is given) with the
// names of track `number`. False with the reason in `problem` when the file cannot be
// read as that format or the tags cannot be saved.
bool WriteTrackTags(const std::string& path, TagFormat format, const DiscNames& names, int number,
                    const TagOptions& options, std::string* problem);

// ReplayGain values as tags hold them: gains as "-6.52 dB", peaks as "0.988312"; the
// album's are left out when empty.
struct GainTags {
    std::string trackGain, trackPeak, albumGain, albumPeak;
};

// Adds (or replaces) the REPLAYGAIN_* fields of an MP3 file (ID3v2 TXXX frames, in the
// version asked for) or a FLAC file (Vorbis comments), keeping its other tags. WAV
// files are left as they are. False with the reason in `problem` when the file cannot
// be read as that format or saved.
bool WriteGainTags(const std::string& path, TagFormat format, const GainTags& gains, bool id3v24,
                   std::string* problem);

}  // namespace names
